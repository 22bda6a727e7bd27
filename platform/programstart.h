#pragma once

/// @file
/// What a command-line program does at start that differs per system (programstart_posix.cpp,
/// programstart_windows.cpp): its arguments as UTF-8, and standard input and output that pass
/// CSV bytes through unchanged.

#include <cstddef>
#include <expected>
#include <string>
#include <vector>

namespace stats::platform {

/// The arguments after the program's name, as UTF-8, or the position (from 1) of the first
/// one that is no valid text and so names no file we could open. Also sets standard input and
/// output to pass bytes as they are, so that a CSV written there is the same on every system.
[[nodiscard]] std::expected<std::vector<std::string>, std::size_t> startProgram(int argc,
                                                                                char **argv);

} // namespace stats::platform
