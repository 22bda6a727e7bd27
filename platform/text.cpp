#include "platform/text.h"

#include <cstdint>

namespace stats::platform {

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;

constexpr bool isSurrogate(char32_t point)
{
    return point >= 0xD800 && point <= 0xDFFF;
}

// The code point that starts at text[at], and the bytes it takes; nothing for a sequence that
// is cut short, overlong, a surrogate or past the last code point.
std::optional<std::pair<char32_t, std::size_t>> decodeUtf8(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t length = 0;
    char32_t point = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        return std::pair{char32_t{lead}, std::size_t{1}};
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        point = lead & 0x1FU;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        point = lead & 0x0FU;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        point = lead & 0x07U;
        smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - at < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        point = (point << 6U) | (next & 0x3FU);
    }
    if (point < smallest || point > kLastCodePoint || isSurrogate(point)) {
        return std::nullopt;
    }
    return std::pair{point, length};
}

void appendUtf8(std::string &text, char32_t point)
{
    const auto byte = [&](char32_t value) { text.push_back(static_cast<char>(value)); };
    if (point < 0x80) {
        byte(point);
    } else if (point < 0x800) {
        byte(0xC0 | (point >> 6U));
        byte(0x80 | (point & 0x3FU));
    } else if (point < 0x10000) {
        byte(0xE0 | (point >> 12U));
        byte(0x80 | ((point >> 6U) & 0x3FU));
        byte(0x80 | (point & 0x3FU));
    } else {
        byte(0xF0 | (point >> 18U));
        byte(0x80 | ((point >> 12U) & 0x3FU));
        byte(0x80 | ((point >> 6U) & 0x3FU));
        byte(0x80 | (point & 0x3FU));
    }
}

} // namespace

std::optional<Utf16> toUtf16(std::string_view text)
{
    Utf16 wide;
    wide.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto decoded = decodeUtf8(text, at);
        if (!decoded) {
            return std::nullopt;
        }
        const auto [point, length] = *decoded;
        if (point < 0x10000) {
            wide.push_back(static_cast<wchar_t>(point));
        } else {
            wide.push_back(static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10U)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FFU)));
        }
        at += length;
    }
    return wide;
}

std::optional<std::string> toUtf8(std::wstring_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto unit = static_cast<char32_t>(text[at]);
        if (unit > 0xFFFF) {
            return std::nullopt;
        }
        if (!isSurrogate(unit)) {
            appendUtf8(bytes, unit);
            continue;
        }
        const bool pairs = unit < 0xDC00 && at + 1 < text.size() &&
                           static_cast<char32_t>(text[at + 1]) >= 0xDC00 &&
                           static_cast<char32_t>(text[at + 1]) <= 0xDFFF;
        if (!pairs) {
            return std::nullopt;
        }
        const auto low = static_cast<char32_t>(text[++at]);
        appendUtf8(bytes, 0x10000 + ((unit - 0xD800) << 10U) + (low - 0xDC00));
    }
    return bytes;
}

} // namespace stats::platform
