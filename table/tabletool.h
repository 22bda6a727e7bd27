#pragma once

/// @file
/// The stats-table program: the whole stats table out to a CSV file and back in, with the
/// editor's safety for the image; the changes between two images; the names in use as a name
/// pack to start from.

#include "platform/fileapi.h"

#include <cstdio>
#include <span>
#include <string_view>

namespace stats::table {

/// Where the program writes: its output (a CSV, or the report of an import) and its
/// messages; and where an import reads the CSV named "-".
struct Streams
{
    std::FILE *out;
    std::FILE *err;
    std::FILE *in = stdin;
};

inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1; ///< refused input or a file problem
inline constexpr int kExitUsage = 2;
/// diff answers as diff(1) does: 0 when the tables are the same, 1 when they differ, and 2
/// when it could not compare them.
inline constexpr int kExitDiffer = 1;
inline constexpr int kExitTrouble = 2;

/// Runs the program with the arguments after its name; the exit status. The image is reached
/// through @p files only.
[[nodiscard]] int runTableTool(std::span<const std::string_view> args, Streams streams,
                               platform::FileApi &files = platform::systemFileApi());

} // namespace stats::table
