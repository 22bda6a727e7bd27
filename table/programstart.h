#pragma once

/// @file
/// What stats-table does at start that differs per system (programstart_posix.cpp,
/// programstart_windows.cpp): its arguments as UTF-8, and standard input and output that pass
/// CSV bytes through unchanged.

#include <string>
#include <vector>

namespace stats::table {

/// The arguments after the program's name, as UTF-8. Also sets standard input and output to
/// pass bytes as they are, so that a CSV written there is the same on every system.
[[nodiscard]] std::vector<std::string> startProgram(int argc, char **argv);

} // namespace stats::table
