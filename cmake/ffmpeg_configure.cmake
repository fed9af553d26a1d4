# Runs FFmpeg's configure in BINARY_DIR with OPTIONS (a list), unless the
# last run there had the same options and succeeded: configure rewrites its
# output even when nothing changed, which would make make rebuild everything.
#
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DOPTIONS=... -P ffmpeg_configure.cmake

set(record ${BINARY_DIR}/vorn-configure-options.txt)
list(JOIN OPTIONS "\n" wanted)
if(EXISTS ${record} AND EXISTS ${BINARY_DIR}/ffbuild/config.mak)
  file(READ ${record} previous)
  if(previous STREQUAL wanted)
    return()
  endif()
endif()

file(REMOVE ${record})
file(MAKE_DIRECTORY ${BINARY_DIR})
execute_process(COMMAND ${SOURCE_DIR}/configure ${OPTIONS}
  WORKING_DIRECTORY ${BINARY_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "FFmpeg's configure failed (${BINARY_DIR}/ffbuild/config.log)")
endif()

# configure passes over a component name it does not know without a word:
# every one asked for must be in the configuration it wrote.
file(READ ${BINARY_DIR}/config_components.h components)
foreach(option IN LISTS OPTIONS)
  if(option MATCHES "^--enable-(demuxer|decoder|parser|protocol)=(.*)$")
    set(kind ${CMAKE_MATCH_1})
    string(TOUPPER ${kind} KIND)
    string(REPLACE "," ";" names ${CMAKE_MATCH_2})
    foreach(name IN LISTS names)
      string(TOUPPER ${name} NAME)
      if(NOT components MATCHES "#define CONFIG_${NAME}_${KIND} 1")
        message(FATAL_ERROR "FFmpeg has no ${kind} named ${name}")
      endif()
    endforeach()
  endif()
endforeach()
file(WRITE ${record} "${wanted}")
