#pragma once

/// @file
/// The files the user names for a CSV: what may be written there, and how a file is replaced
/// so that a failed write leaves the old one as it was.

#include "image/fileapi.h"
#include "image/imagefile.h"

#include <expected>
#include <string>
#include <string_view>

namespace stats::table {

/// The system's words for @p error, or that it gave no reason.
[[nodiscard]] std::string systemReason(int error);

/// Why the existing regular file at @p path must not be replaced by a CSV: it holds the game
/// code of an image, or it cannot be read, so that nothing tells it from one. Empty when it
/// may be.
[[nodiscard]] std::string imageRisk(const std::string &path, image::FileApi &files);

/// Writes @p text to @p path: a regular file (replaced only once the text is whole and on the
/// disk), a pipe, a terminal or /dev/null; never the image @p imageFile, any other image, a
/// disk or another device. The problem in words when it cannot; the file is then as it was.
[[nodiscard]] std::expected<void, std::string> writeOutputFile(const std::string &path,
                                                               std::string_view text,
                                                               image::FileIdentity imageFile,
                                                               image::FileApi &files);

} // namespace stats::table
