# What the zip and the installer hold, besides the two programs that app/ and table/ install:
# the DLLs they load, Qt's plugins, the fonts Windows lacks, the licences and the README.
# CPack packs the installed folder into the zip and, through our NSIS template, the installer.

# The editor's Qt plugins: Qt's Windows platform; the native look of Windows 10 and 11, without
# which Qt falls back to its Fusion style; the readers of the window's background picture and
# of its icon.
set(stats_programs stats-table.exe)
set(stats_plugins)
if(STATS_BUILD_GUI)
  list(APPEND stats_programs stats-editor.exe)
  set(stats_plugins platforms=Qt6::QWindowsIntegrationPlugin styles=Qt6::QWindowsVistaStylePlugin
      imageformats=Qt6::QJpegPlugin imageformats=Qt6::QICOPlugin)
endif()
set(stats_installed_plugins)
foreach(entry IN LISTS stats_plugins)
  string(REPLACE "=" ";" entry ${entry})
  list(GET entry 0 folder)
  list(GET entry 1 plugin)
  install(IMPORTED_RUNTIME_ARTIFACTS ${plugin} LIBRARY DESTINATION ${folder} COMPONENT runtime)
  list(APPEND stats_installed_plugins "${folder}/$<TARGET_FILE_NAME:${plugin}>")
endforeach()

# The DLLs that the programs and plugins load, found in their import tables and copied beside
# the programs; tools/windows/runtime-dlls.cmake says how.
install(CODE "
  set(stats_programs ${stats_programs})
  set(stats_plugins ${stats_installed_plugins})
  set(stats_dll_dirs ${stats_dll_dirs})
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${CMAKE_OBJDUMP})
  set(stats_strip ${CMAKE_STRIP})
  set(stats_dll_names ${CMAKE_BINARY_DIR}/dll-names)
" COMPONENT runtime)
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/runtime-dlls.cmake COMPONENT runtime)

# Fonts Windows lacks. Both are under the SIL Open Font License 1.1, which lets them be
# bundled with software as long as the licence and copyright notice go with them.
install(FILES /usr/share/fonts/opentype/lobster/lobster.otf DESTINATION fonts
        RENAME LobsterTwo.otf COMPONENT fonts)
install(FILES /usr/share/fonts/truetype/crosextra/Carlito-Regular.ttf
              /usr/share/fonts/truetype/crosextra/Carlito-Bold.ttf DESTINATION fonts COMPONENT fonts)

set(stats_licences
    Lobster-Two /usr/share/doc/fonts-lobster/copyright
    Carlito /usr/share/doc/fonts-crosextra-carlito/copyright
    Qt /usr/share/doc/libqt6core6/copyright
    LGPL-3 /usr/share/common-licenses/LGPL-3
    GPL-3 /usr/share/common-licenses/GPL-3
    GCC-runtime /usr/share/doc/gcc-mingw-w64-base/copyright
    mingw-w64 /usr/share/doc/mingw-w64-common/copyright
    tavrel-stats-editor ${PROJECT_SOURCE_DIR}/LICENSE)
while(stats_licences)
  list(POP_FRONT stats_licences name file)
  install(FILES ${file} DESTINATION licences RENAME ${name}.txt COMPONENT licences)
endwhile()
# Windows' own editor needs CR LF.
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION . COMPONENT licences)

set(CPACK_PACKAGE_NAME tavrel-stats-editor)
set(CPACK_PACKAGE_VENDOR Tavrel)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tavrel Stats Editor")
set(CPACK_GENERATOR ZIP NSIS)
# One zip and one installer with every component; the zip holds one folder of its own name.
set(CPACK_MONOLITHIC_INSTALL ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF) # runtime-dlls.cmake strips the programs and every DLL alike
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/resources/stats-editor.ico)
# The installer is the zip's name with -setup.exe; CPack reads this file once per generator.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-config.cmake)
# CPack's NSIS generator with a template of our own: a per-user install without an
# administrator, and the checks for running programs.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/nsis)
include(CPack)
