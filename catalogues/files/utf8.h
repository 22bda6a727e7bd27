#pragma once

/// @file
/// The one UTF-8 decoder of the programs: the catalogue files and the table tool's messages
/// read characters with it, and every message shows untrusted text through it.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace stats::catalogues {

/// The character that @p text starts with and its length in bytes; length 0 when the text
/// does not start with a whole, shortest UTF-8 sequence of a character.
[[nodiscard]] std::pair<char32_t, std::size_t> firstCharacter(std::string_view text);

/// @p text as a terminal or a message box may show it: each character that no name may hold
/// (isRefusedInNames) as \\uXXXX and each byte that is no UTF-8 as \\xXX, so that no text
/// can move the cursor, turn the line around or hide. Cells and file names are shown this
/// way. Past @p limit bytes it is cut between two characters and ends in "...".
[[nodiscard]] std::string shownEscaped(std::string_view text,
                                       std::size_t limit = std::string_view::npos);

} // namespace stats::catalogues
