#pragma once

// Making a new file of a given size with a few pieces of data in it, the rest zero; one file
// per system (newfile_posix.cpp, newfile_windows.cpp).

#include <cstdint>
#include <expected>
#include <initializer_list>
#include <string>
#include <vector>

namespace stats::platform {

struct FilePiece
{
    std::int64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

/// Makes a new file of @p size bytes at @p path (UTF-8) holding @p pieces. Never touches an
/// existing file (EEXIST), and removes a file it could not write whole; the errno value on
/// failure.
[[nodiscard]] std::expected<void, int> writeNewFile(const std::string &path, std::int64_t size,
                                                    std::initializer_list<FilePiece> pieces);

} // namespace stats::platform
