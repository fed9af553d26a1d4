# How the tool links its libraries.
#
# VORN_SELF_CONTAINED (on by default for a Release build without
# sanitizers): everything but the C library is linked in, so that
# `cmake --install` makes a folder an application can ship to machines where
# nobody installed our packages (see "Self-contained bundle" in the README).
# The speech engine, the regular-expression library and the Unicode library
# come from Debian's static archives, FFmpeg from cmake/ffmpeg.cmake;
# whisper.cpp is static in every build.
#
# Otherwise (Debug, RelWithDebInfo, the sanitizer builds) the tool links
# Debian's shared libraries: quicker to build, and what the tests of the
# instrumented builds have always run against.
#
# Defines VORN_SELF_CONTAINED, the targets `pocketsphinx_engine`,
# `re2_library` and `unistring_library`, and the function
# vorn_link_runtime(target).

if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT VORN_SANITIZE)
  set(vorn_self_contained_default ON)
else()
  set(vorn_self_contained_default OFF)
endif()
option(VORN_SELF_CONTAINED "Link every library but the C library into the tool"
  ${vorn_self_contained_default})

# Debian's sphinxbase.pc names an include folder that the package does not
# ship, which an imported pkg-config target rejects; so the engine is found
# by hand.
find_path(POCKETSPHINX_INCLUDE_DIR pocketsphinx.h PATH_SUFFIXES pocketsphinx REQUIRED)
find_path(SPHINXBASE_INCLUDE_DIR sphinxbase/cmd_ln.h
  PATHS /usr/include/${CMAKE_LIBRARY_ARCHITECTURE} REQUIRED)
add_library(pocketsphinx_engine INTERFACE)
target_include_directories(pocketsphinx_engine SYSTEM INTERFACE
  ${POCKETSPHINX_INCLUDE_DIR} ${SPHINXBASE_INCLUDE_DIR} ${SPHINXBASE_INCLUDE_DIR}/sphinxbase)

pkg_check_modules(RE2 REQUIRED re2)
add_library(re2_library INTERFACE)
target_include_directories(re2_library SYSTEM INTERFACE ${RE2_INCLUDE_DIRS})

find_path(UNISTRING_INCLUDE_DIR unigbrk.h REQUIRED)
add_library(unistring_library INTERFACE)
target_include_directories(unistring_library SYSTEM INTERFACE ${UNISTRING_INCLUDE_DIR})

if(VORN_SELF_CONTAINED)
  # Debian's shared sphinxbase links BLAS and LAPACK (and through them
  # gfortran and quadmath), but only its matrix.o calls them (invert,
  # determinant, solve), and nothing in pocketsphinx or sphinxbase, nor the
  # telephone path's MLLR transform, refers to matrix.o: from the static
  # archive it is never pulled in, and neither is LAPACK.
  find_library(POCKETSPHINX_STATIC_LIBRARY libpocketsphinx.a REQUIRED)
  find_library(SPHINXBASE_STATIC_LIBRARY libsphinxbase.a REQUIRED)
  target_link_libraries(pocketsphinx_engine INTERFACE
    ${POCKETSPHINX_STATIC_LIBRARY} ${SPHINXBASE_STATIC_LIBRARY} Threads::Threads m)
  find_library(RE2_STATIC_LIBRARY libre2.a REQUIRED)
  target_link_libraries(re2_library INTERFACE ${RE2_STATIC_LIBRARY} Threads::Threads)
  find_library(UNISTRING_STATIC_LIBRARY libunistring.a REQUIRED)
  target_link_libraries(unistring_library INTERFACE ${UNISTRING_STATIC_LIBRARY})
else()
  find_library(POCKETSPHINX_LIBRARY pocketsphinx REQUIRED)
  find_library(SPHINXBASE_LIBRARY sphinxbase REQUIRED)
  target_link_libraries(pocketsphinx_engine INTERFACE ${POCKETSPHINX_LIBRARY} ${SPHINXBASE_LIBRARY})
  target_link_libraries(re2_library INTERFACE ${RE2_LINK_LIBRARIES})
  find_library(UNISTRING_LIBRARY unistring REQUIRED)
  target_link_libraries(unistring_library INTERFACE ${UNISTRING_LIBRARY})
endif()

# The C++ runtime of the executable `target`. In the self-contained build
# libstdc++ and libgcc are linked in too, leaving glibc (and its loader) as
# the only shared dependency: a machine with a new enough glibc may still
# have an older libstdc++ than GCC 12's (GLIBCXX_3.4.30), or none, as in a
# minimal container. It is safe because nothing else in the process shares
# C++ objects or exceptions with the tool: every C++ library in it is
# linked in statically, and it loads no plug-ins.
function(vorn_link_runtime target)
  if(VORN_SELF_CONTAINED)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()
