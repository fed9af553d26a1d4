# FFmpeg for the reader (src/platform/audio/).
#
# The self-contained build (VORN_SELF_CONTAINED, see cmake/self_contained.cmake)
# links an audio-only FFmpeg compiled from the pinned Debian source that
# scripts/fetch-ffmpeg.sh puts in .deps/: static, no external libraries, no
# programs, no network, and nothing but the containers and codecs listed
# below. Like whisper.cpp it is built once per build type into .deps/,
# outside any one build folder, and it is not instrumented.
#
# Every other build links Debian's shared FFmpeg libraries, the same version
# compiled from the same source: the two decode the formats below to the
# same samples (Debian's build has the same native decoders, which FFmpeg
# prefers over the external libraries it also has).
#
# Defines the target `ffmpeg_libraries`.

if(NOT VORN_SELF_CONTAINED)
  pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswresample)
  add_library(ffmpeg_libraries INTERFACE)
  target_link_libraries(ffmpeg_libraries INTERFACE PkgConfig::FFMPEG)
  return()
endif()

include(ExternalProject)

set(FFMPEG_VERSION 5.1.9)
set(FFMPEG_SOURCE_DIR ${PROJECT_SOURCE_DIR}/.deps/ffmpeg-${FFMPEG_VERSION})
if(NOT EXISTS ${FFMPEG_SOURCE_DIR}/.complete)
  message(FATAL_ERROR "FFmpeg ${FFMPEG_VERSION} is missing from .deps/: run scripts/setup.sh")
endif()

# Optimised in both: FFmpeg relies on the compiler dropping dead code, and
# does not link without it.
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(FFMPEG_BUILD_TYPE Debug)
  set(FFMPEG_DEBUG_OPTIONS --enable-debug)
else()
  set(FFMPEG_BUILD_TYPE Release)
  set(FFMPEG_DEBUG_OPTIONS --disable-debug)
endif()
set(FFMPEG_BINARY_DIR ${PROJECT_SOURCE_DIR}/.deps/ffmpeg-build-${FFMPEG_VERSION}-${FFMPEG_BUILD_TYPE})
set(FFMPEG_INSTALL_DIR ${PROJECT_SOURCE_DIR}/.deps/ffmpeg-${FFMPEG_VERSION}-${FFMPEG_BUILD_TYPE})

# What the tool reads: the formats the README names, the telephone formats,
# and the containers that carry them beside video (whose video streams are
# found and passed over, never decoded). A format missing here is reported
# as "not in a known audio format" or "encoded as X, which this program
# cannot decode"; adding one is a line here and a fixture in
# tests/fixtures/audio/.
set(FFMPEG_DEMUXERS
  wav aiff caf      # uncompressed and telephone WAV, AIFF, Core Audio
  mp3 aac           # MPEG audio, raw AAC (ADTS)
  mov               # m4a, mp4, 3gp
  ogg matroska      # Ogg (Vorbis, Opus, FLAC), Matroska and WebM
  flac
  gsm amr g722)     # raw telephone streams
set(FFMPEG_DECODERS
  pcm_u8 pcm_s8
  pcm_s16le pcm_s16be pcm_s24le pcm_s24be pcm_s32le pcm_s32be
  pcm_f32le pcm_f32be pcm_f64le pcm_f64be
  pcm_mulaw pcm_alaw  # G.711
  # The float MP3 and AAC decoders: the ones FFmpeg picks when it has both
  # (as Debian's build does), so that samples match the shared build's.
  mp3float aac
  vorbis opus flac
  gsm gsm_ms          # GSM 06.10, raw and in WAV
  amrnb amrwb         # FFmpeg's own AMR decoders
  adpcm_g722)         # G.722
# The demuxers hand these codecs' packets to a parser where one exists;
# without it, packets would be split differently than in the shared build.
set(FFMPEG_PARSERS aac amr flac gsm mpegaudio opus vorbis)

set(FFMPEG_CONFIGURE_OPTIONS
  --prefix=${FFMPEG_INSTALL_DIR}
  # Hardened as Debian builds it; position-independent, since the tool is
  # a position-independent executable.
  --toolchain=hardened --enable-pic
  --enable-static --disable-shared
  --disable-programs --disable-doc --disable-network --disable-autodetect
  --disable-avdevice --disable-avfilter --disable-swscale --disable-postproc
  ${FFMPEG_DEBUG_OPTIONS}
  --disable-everything
  --enable-swresample
  --enable-protocol=file)
foreach(kind demuxer decoder parser)
  string(TOUPPER ${kind} KIND)
  list(JOIN FFMPEG_${KIND}S "," names)
  list(APPEND FFMPEG_CONFIGURE_OPTIONS --enable-${kind}=${names})
endforeach()

set(FFMPEG_LIBRARIES
  ${FFMPEG_INSTALL_DIR}/lib/libavformat.a
  ${FFMPEG_INSTALL_DIR}/lib/libavcodec.a
  ${FFMPEG_INSTALL_DIR}/lib/libswresample.a
  ${FFMPEG_INSTALL_DIR}/lib/libavutil.a)

# Under a Makefile generator FFmpeg's make joins the build's own job slots
# (`cmake --build -jN` stays N jobs however many targets build at once);
# otherwise it takes one job per core.
if(CMAKE_GENERATOR MATCHES "Makefiles")
  set(FFMPEG_MAKE "$(MAKE)")
else()
  include(ProcessorCount)
  ProcessorCount(jobs)
  if(jobs EQUAL 0)
    set(jobs 2)
  endif()
  set(FFMPEG_MAKE make -j${jobs})
endif()

# Each build folder runs these steps once (the pinned source never changes,
# so unlike whisper.cpp nothing is rebuilt on every build). FFmpeg's
# configure rewrites its configuration every time it runs, which would
# recompile the whole library for every new build folder; it is run only when
# the options differ from the last run's.
# The options travel as one argument, |-separated, which ExternalProject
# turns back into a list.
list(JOIN FFMPEG_CONFIGURE_OPTIONS "|" FFMPEG_CONFIGURE_ARGUMENT)
ExternalProject_Add(ffmpeg_audio
  SOURCE_DIR ${FFMPEG_SOURCE_DIR}
  BINARY_DIR ${FFMPEG_BINARY_DIR}
  LIST_SEPARATOR |
  CONFIGURE_COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${FFMPEG_SOURCE_DIR} -DBINARY_DIR=${FFMPEG_BINARY_DIR}
    -DOPTIONS=${FFMPEG_CONFIGURE_ARGUMENT}
    -P ${PROJECT_SOURCE_DIR}/cmake/ffmpeg_configure.cmake
  BUILD_COMMAND ${FFMPEG_MAKE}
  INSTALL_COMMAND ${FFMPEG_MAKE} install
  BUILD_BYPRODUCTS ${FFMPEG_LIBRARIES}
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_INSTALL ON
  LOG_OUTPUT_ON_FAILURE ON)

add_library(ffmpeg_libraries INTERFACE)
add_dependencies(ffmpeg_libraries ffmpeg_audio)
# The include folder is made by the install step; it must exist when CMake
# checks the target at configure time.
file(MAKE_DIRECTORY ${FFMPEG_INSTALL_DIR}/include)
target_include_directories(ffmpeg_libraries SYSTEM INTERFACE ${FFMPEG_INSTALL_DIR}/include)
# The static libraries depend on each other in this order.
target_link_libraries(ffmpeg_libraries INTERFACE ${FFMPEG_LIBRARIES} Threads::Threads m)
