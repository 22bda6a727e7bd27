#pragma once

/// @file
/// What a program asks the system about its own process, one file per system
/// (process_posix.cpp, process_windows.cpp): a variable of its environment, and whether what
/// it writes to standard error reaches anyone.

#include <string>
#include <string_view>

namespace stats::platform {

/// The environment variable @p name (ASCII) as UTF-8; empty when it is not set or empty, and
/// on Windows when its value is no valid text, since such a value names no folder we could
/// open.
[[nodiscard]] std::string environmentValue(std::string_view name);

/// Whether what the program writes to standard error reaches anyone: a Windows program with a
/// window that is started from the desktop or "Open with" has no console.
[[nodiscard]] bool standardErrorIsSeen();

} // namespace stats::platform
