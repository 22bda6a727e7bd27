# The Windows build: the core, the catalogues, stats-table, the editing session and the editor,
# and the tests that run under Wine. Included from the top CMakeLists.txt in place of the Linux targets, whose
# benchmarks, artwork generator, packaging and window tests need Linux or Qt modules the
# Windows Qt is built without.
add_subdirectory(image)
add_subdirectory(tools/sample-image)
add_subdirectory(tools/catalogue-compiler)
add_subdirectory(catalogues)
add_subdirectory(table)
add_subdirectory(session)
if(STATS_BUILD_GUI)
  add_subdirectory(app)
endif()

option(STATS_WINDOWS_TESTS "Build the tests that run under Wine" ON)
if(STATS_WINDOWS_TESTS)
  add_subdirectory(tests/windows)
endif()
