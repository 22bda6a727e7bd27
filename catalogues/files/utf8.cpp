#include "catalogues/files/utf8.h"

#include "catalogues/files/cataloguefiles.h"

#include <algorithm>
#include <cstdint>

namespace stats::catalogues {

namespace {

std::string escaped(std::string_view prefix, std::uint32_t value, int digits)
{
    std::string text(prefix);
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        text.push_back("0123456789ABCDEF"[(value >> shift) & 0xF]);
    }
    return text;
}

} // namespace

std::string shownEscaped(std::string_view text, std::size_t limit)
{
    std::string shown;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto [code, length] = firstCharacter(text.substr(at));
        if (at + std::max<std::size_t>(length, 1) > limit) {
            break;
        }
        if (length == 0) {
            shown += escaped("\\x", static_cast<unsigned char>(text[at]), 2);
            ++at;
            continue;
        }
        if (isRefusedInNames(code)) {
            shown += escaped("\\u", static_cast<std::uint32_t>(code), 4);
        } else {
            shown += text.substr(at, length);
        }
        at += length;
    }
    if (at < text.size()) {
        shown += "...";
    }
    return shown;
}

} // namespace stats::catalogues
