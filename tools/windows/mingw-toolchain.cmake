# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads variant, which
# std::thread and std::mutex need) and runs what it builds, tests included, under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_AR ${triplet}-gcc-ar-posix)
set(CMAKE_RANLIB ${triplet}-gcc-ranlib-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages come from the cross prefixes handed in (Qt, GoogleTest) and, for the Qt build,
# from the host Qt whose tools it runs.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Wine with the build's own prefix and DLL path; the catalogue compiler runs through it at
# build time, and CTest runs every test through it.
# (tools/windows/project.cmake adds the DLL folders of the programs it builds.)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
