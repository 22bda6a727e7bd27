# An install script: copies the DLLs that the installed programs and plugins load, and the DLLs
# those load in turn, beside the programs, then strips every program and DLL. A DLL that is
# neither Windows' own nor found in the folders handed in stops the install and is named.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
list(TRANSFORM stats_programs PREPEND "${folder}/")
list(TRANSFORM stats_plugins PREPEND "${folder}/")

# Windows' own DLLs, by name (lowercase: Windows' names ignore case). A program that starts
# using another one fails here until it is added.
set(windows_dlls advapi32 authz bcrypt comctl32 comdlg32 crypt32 d2d1 d3d9 d3d11 d3d12 dwmapi
    dwrite dxgi gdi32 imm32 kernel32 mpr msvcrt netapi32 ntdll ole32 oleaut32 setupapi shcore
    shell32 shlwapi user32 userenv uxtheme version winmm ws2_32 wtsapi32)
list(JOIN windows_dlls "|" windows_dlls)

# CMake compares the names a program imports in lowercase, as Windows ignores their case; on
# Linux a file is found only by its exact name, so every DLL of the folders is offered under
# its lowercase name too, through a link in the build folder (an install script runs in
# whatever folder the install was started from).
set(names "${stats_dll_names}")
file(REMOVE_RECURSE "${names}")
file(MAKE_DIRECTORY "${names}")
foreach(dir IN LISTS stats_dll_dirs)
  file(GLOB dlls "${dir}/*.dll")
  foreach(dll IN LISTS dlls)
    cmake_path(GET dll FILENAME name)
    string(TOLOWER "${name}" name)
    if(NOT EXISTS "${names}/${name}")
      file(CREATE_LINK "${dll}" "${names}/${name}" SYMBOLIC)
    endif()
  endforeach()
endforeach()

file(GET_RUNTIME_DEPENDENCIES
     EXECUTABLES ${stats_programs}
     MODULES ${stats_plugins}
     DIRECTORIES "${names}"
     PRE_EXCLUDE_REGEXES "^api-ms-win-" "^ext-ms-" "^(${windows_dlls})\\.dll$"
     RESOLVED_DEPENDENCIES_VAR found
     UNRESOLVED_DEPENDENCIES_VAR missing
     CONFLICTING_DEPENDENCIES_PREFIX conflicting)
if(missing)
  list(JOIN missing ", " missing)
  message(FATAL_ERROR "These DLLs are loaded but neither Windows' own nor found in "
                      "${stats_dll_dirs}: ${missing}")
endif()
if(conflicting_FILENAMES)
  message(FATAL_ERROR "These DLLs are in more than one folder: ${conflicting_FILENAMES}")
endif()
# Copied under their own names, not the links'.
set(files)
foreach(dll IN LISTS found)
  file(REAL_PATH "${dll}" file)
  list(APPEND files "${file}")
endforeach()
file(INSTALL ${files} DESTINATION "${folder}")

file(GLOB_RECURSE binaries "${folder}/*.exe" "${folder}/*.dll")
foreach(binary IN LISTS binaries)
  execute_process(COMMAND ${stats_strip} --strip-unneeded ${binary} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
