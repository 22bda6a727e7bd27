#pragma once

/// @file
/// A new file made whole: of a given size, with a few pieces of data in it and the rest
/// zero, or with a text. Never over an existing file, and never left half written.

#include "platform/fileapi.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace stats::platform {

struct FilePiece
{
    std::int64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

/// Makes a new file of @p size bytes at @p path holding @p pieces; what no piece covers
/// stays a hole where the system has them. A file that is there is never touched
/// (Fault::Exists), and one that could not be written whole is removed again.
[[nodiscard]] SystemResult<void> writeNewFile(FileApi &files, const Path &path, std::int64_t size,
                                              std::initializer_list<FilePiece> pieces);

/// Makes a new file at @p path holding @p text, on the same terms.
[[nodiscard]] SystemResult<void> writeNewFile(FileApi &files, const Path &path,
                                              std::string_view text);

} // namespace stats::platform
