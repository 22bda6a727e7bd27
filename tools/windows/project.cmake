# The Windows build: the core, the catalogues, stats-table, the editing session and the editor,
# and the tests that run under Wine. Included from the top CMakeLists.txt in place of the Linux
# targets, whose benchmarks, artwork generator, packaging and window tests need Linux or Qt
# modules the Windows Qt is built without.

# Programs go to the top of the folder, beside the DLLs they load, as Windows looks for them.
set(CMAKE_INSTALL_BINDIR .)
# No link time in the programs' headers and no build folder in their text, so that two builds
# of one commit are the same bytes.
add_link_options(-Wl,--no-insert-timestamp)
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)

# The folders the DLLs of a program come from: the cross compiler's runtime (libstdc++,
# libgcc_s), mingw's (libwinpthread) and Qt's. Wine runs the build's tools and tests with them
# on its path; the install copies from them what the programs load.
if(STATS_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  set(stats_qt_dlls ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS})
endif()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE stats_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
cmake_path(GET stats_libstdcxx PARENT_PATH stats_gcc_dlls)
set(stats_dll_dirs ${stats_gcc_dlls} /usr/x86_64-w64-mingw32/lib ${stats_qt_dlls})
list(JOIN stats_dll_dirs : stats_dll_path)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --dlls ${stats_dll_path})

add_subdirectory(image)
add_subdirectory(tools/sample-image)
add_subdirectory(tools/catalogue-compiler)
add_subdirectory(catalogues)
add_subdirectory(table)
add_subdirectory(session)
if(STATS_BUILD_GUI)
  add_subdirectory(app)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/install.cmake)

option(STATS_WINDOWS_TESTS "Build the tests that run under Wine" ON)
if(STATS_WINDOWS_TESTS)
  add_subdirectory(tests/windows)
  if(STATS_BUILD_GUI)
    add_executable(minimal-window WIN32 ${CMAKE_CURRENT_LIST_DIR}/minimal-window.cpp)
    target_link_libraries(minimal-window PRIVATE Qt6::Widgets)
  endif()
endif()
