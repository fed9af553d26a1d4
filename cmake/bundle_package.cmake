# `cmake --build build --target package` packs what `cmake --install` lays
# out into build/vorn-speech-<version>-linux-<processor>.tar.gz, whose one
# top folder holds bin/ and share/. Meant for the self-contained build, the
# one that runs on machines without our packages.
set(CPACK_GENERATOR TGZ)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_FILE_NAME
  ${PROJECT_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
