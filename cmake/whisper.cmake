# whisper.cpp, built from the pinned source that scripts/fetch-whisper.sh puts
# in .deps/. It is built once per build type into .deps/, outside any one
# build folder, so the plain and the sanitizer builds of the tests share it
# instead of compiling ggml three times. It is not instrumented: it is a
# third-party library whose inside we do not test, and the sanitizers still
# check every call we make into it from our side.
#
# Defines the imported target `whisper_engine` and the variable
# WHISPER_BINARY_DIR (where the bench builds whisper-cli from the same
# configuration).

include(ExternalProject)

set(WHISPER_VERSION 1.9.1)
set(WHISPER_SOURCE_DIR ${PROJECT_SOURCE_DIR}/.deps/whisper.cpp-${WHISPER_VERSION})
if(NOT EXISTS ${WHISPER_SOURCE_DIR}/.complete)
  message(FATAL_ERROR "whisper.cpp ${WHISPER_VERSION} is missing from .deps/: run scripts/setup.sh")
endif()

if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(WHISPER_BUILD_TYPE Debug)
else()
  set(WHISPER_BUILD_TYPE Release)
endif()
set(WHISPER_BINARY_DIR ${PROJECT_SOURCE_DIR}/.deps/whisper-build-${WHISPER_VERSION}-${WHISPER_BUILD_TYPE})

set(WHISPER_LIBRARIES
  ${WHISPER_BINARY_DIR}/src/libwhisper.a
  ${WHISPER_BINARY_DIR}/ggml/src/libggml.a
  ${WHISPER_BINARY_DIR}/ggml/src/libggml-cpu.a
  ${WHISPER_BINARY_DIR}/ggml/src/libggml-base.a)

include(ProcessorCount)
ProcessorCount(WHISPER_BUILD_JOBS)
if(WHISPER_BUILD_JOBS EQUAL 0)
  set(WHISPER_BUILD_JOBS 2)
endif()

ExternalProject_Add(whisper_cpp
  SOURCE_DIR ${WHISPER_SOURCE_DIR}
  BINARY_DIR ${WHISPER_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=${WHISPER_BUILD_TYPE}
    -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON
    -DBUILD_SHARED_LIBS=OFF
    -DWHISPER_BUILD_TESTS=OFF
    # Examples are configured so that the benchmark can build whisper-cli
    # from this very configuration; only the library is built here.
    -DWHISPER_BUILD_EXAMPLES=ON
    -DWHISPER_BUILD_SERVER=OFF
    -DWHISPER_CURL=OFF
    -DWHISPER_SDL2=OFF
    # CPU only. ggml's own thread pool instead of OpenMP: no runtime to
    # ship beside the tool, and nothing hidden from ThreadSanitizer.
    -DGGML_OPENMP=OFF
    -DGGML_BLAS=OFF
    -DGGML_CCACHE=OFF
    # Not the build machine's own instruction set: the tool ships to other
    # machines, and a kernel the processor lacks (AVX-512 on most laptops)
    # ends the process on its first matrix product. With NATIVE off, ggml
    # targets x86-64-v3 (SSE4.2, AVX, AVX2, FMA, F16C, BMI2: Intel since
    # 2013, AMD since 2015); other architectures ignore these switches. They
    # are spelled out because ggml's defaults for them stay cached from a
    # native configuration, which would leave a build with no SIMD at all.
    -DGGML_NATIVE=OFF
    -DGGML_SSE42=ON -DGGML_AVX=ON -DGGML_AVX2=ON -DGGML_FMA=ON -DGGML_F16C=ON -DGGML_BMI2=ON
    -DGGML_AVX512=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${WHISPER_BINARY_DIR} --target whisper -j${WHISPER_BUILD_JOBS}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${WHISPER_LIBRARIES}
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

add_library(whisper_engine INTERFACE)
add_dependencies(whisper_engine whisper_cpp)
target_include_directories(whisper_engine SYSTEM INTERFACE
  ${WHISPER_SOURCE_DIR}/include ${WHISPER_SOURCE_DIR}/ggml/include)
# The static libraries depend on each other in this order.
target_link_libraries(whisper_engine INTERFACE ${WHISPER_LIBRARIES} Threads::Threads ${CMAKE_DL_LIBS} m)
