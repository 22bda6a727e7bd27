#pragma once

/// @file
/// The one UTF-8 decoder of the programs: the catalogue files and the table tool's messages
/// read characters with it.

#include <cstddef>
#include <string_view>
#include <utility>

namespace stats::catalogues {

/// The character that @p text starts with and its length in bytes; length 0 when the text
/// does not start with a whole, shortest UTF-8 sequence of a character.
[[nodiscard]] std::pair<char32_t, std::size_t> firstCharacter(std::string_view text);

} // namespace stats::catalogues
