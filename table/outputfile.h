#pragma once

/// @file
/// The files the user names for a CSV: what may be written there, and the words for what
/// went wrong. The file is replaced by the platform layer's policy, so that a failed write
/// leaves the old one as it was.

#include "platform/fileapi.h"

#include <expected>
#include <string>
#include <string_view>

namespace stats::table {

using platform::systemReason;

/// Writes @p text to @p path: a regular file (replaced only once the text is whole and on the
/// disk), a pipe, a terminal or the null device; never the image @p imageFile, any other
/// image, a folder, a disk or another device. The problem in words when it cannot; the file
/// is then as it was.
[[nodiscard]] std::expected<void, std::string> writeOutputFile(const platform::Path &path,
                                                               std::string_view text,
                                                               platform::FileIdentity imageFile,
                                                               platform::FileApi &files);

} // namespace stats::table
