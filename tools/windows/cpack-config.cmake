# Read by CPack once per generator: the installer is the zip's name with -setup.exe, and
# installs the folder's contents, not the folder.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-setup)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
