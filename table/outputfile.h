#pragma once

/// @file
/// The files the user names for a CSV: what may be written there, and how a file is replaced
/// so that a failed write leaves the old one as it was.

#include "image/imagefile.h"
#include "platform/fileapi.h"

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace stats::table {

/// The system's words for @p error, or that it gave no reason.
[[nodiscard]] std::string systemReason(int error);

/// Why the existing regular file at @p path must not be replaced by a CSV: it holds the game
/// code of an image, or it cannot be read, so that nothing tells it from one. Empty when it
/// may be.
[[nodiscard]] std::string imageRisk(const std::string &path, platform::FileApi &files);

/// What the name of every temporary file of an export starts with, in its CSV's folder.
inline constexpr std::string_view kTemporaryPrefix = ".stats-table.";

/// Removes from @p folder the temporary files of exports that were killed before they could
/// remove their own; one that a running export holds, or that was written in the last minute,
/// is left alone.
void removeAbandonedTemporaries(const std::filesystem::path &folder);

/// Removes the temporary file at @p path unless a running export holds it (one file per
/// system: each export holds its own from the moment it makes it).
void removeIfAbandoned(const std::filesystem::path &path);

/// Writes @p text to @p path: a regular file (replaced only once the text is whole and on the
/// disk), a pipe, a terminal or /dev/null; never the image @p imageFile, any other image, a
/// disk or another device. The problem in words when it cannot; the file is then as it was.
[[nodiscard]] std::expected<void, std::string> writeOutputFile(const std::string &path,
                                                               std::string_view text,
                                                               platform::FileIdentity imageFile,
                                                               platform::FileApi &files);

} // namespace stats::table
