#include "numbertext.h"

#include <algorithm>

namespace stats::image {

namespace {

constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text)
{
    return !text.empty() && std::ranges::all_of(text, isDigit);
}

// Whether the fraction's digits round the whole part up: above one half, or exactly one half
// with an odd whole part.
bool fractionRoundsUp(std::string_view fraction, unsigned whole)
{
    const char first = fraction.front();
    if (first != '5') {
        return first > '5';
    }
    const bool moreThanHalf =
        std::ranges::any_of(fraction.substr(1), [](char c) { return c != '0'; });
    return moreThanHalf || whole % 2 == 1;
}

} // namespace

std::optional<std::uint8_t> parseNumberText(std::string_view text) noexcept
{
    text = trimBlanks(text);
    const auto point = text.find('.');
    std::string_view wholeDigits = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (!allDigits(wholeDigits) || (point != std::string_view::npos && !allDigits(fraction))) {
        return std::nullopt;
    }

    // Leading zeros carry no value; past three significant digits the number is above 255
    // whatever the fraction, so nothing longer needs to be added up.
    wholeDigits.remove_prefix(std::min(wholeDigits.find_first_not_of('0'), wholeDigits.size()));
    if (wholeDigits.size() > 3) {
        return std::nullopt;
    }
    unsigned whole = 0;
    for (const char digit : wholeDigits) {
        whole = whole * 10 + static_cast<unsigned>(digit - '0');
    }
    if (!fraction.empty() && fractionRoundsUp(fraction, whole)) {
        ++whole;
    }
    if (whole > 255) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(whole);
}

std::string numberText(std::uint8_t value)
{
    return std::to_string(value);
}

} // namespace stats::image
