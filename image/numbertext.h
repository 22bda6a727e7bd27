#pragma once

/// @file
/// The decimal text of a number field, both ways.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace stats::image {

/// The blanks that the number text rule ignores around a number: spaces and tabs.
[[nodiscard]] constexpr bool isBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
}

/// @p text without the blanks at either end.
[[nodiscard]] constexpr std::string_view trimBlanks(std::string_view text) noexcept
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

/// The byte a number field's text stands for, or nothing when it does not convert.
///
/// Blanks (spaces and tabs) around the number are ignored; what remains must be one or more
/// decimal digits, optionally followed by a point and one or more digits. A fraction is
/// rounded to the nearest whole number, an exact half to the even neighbour, decided on the
/// digits themselves so that no length of text loses precision. The result must be 0 to 255.
/// Signs, exponents, prefixes, grouping and other separators do not convert.
[[nodiscard]] std::optional<std::uint8_t> parseNumberText(std::string_view text) noexcept;

/// The plain decimal text of a byte: no sign, blank or leading zero ("0", "7", "255").
[[nodiscard]] std::string numberText(std::uint8_t value);

} // namespace stats::image
