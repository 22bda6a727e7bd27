#pragma once

/// @file
/// The stats-table program: the whole stats table out to a CSV file and back in, with the
/// editor's safety for the image.

#include "image/fileapi.h"

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

/// Runs the program with the arguments after its name; the exit status. The image is reached
/// through @p files only.
[[nodiscard]] int runTableTool(std::span<const std::string_view> args, Streams streams,
                               image::FileApi &files = image::systemFileApi());

} // namespace stats::table
