#include "catalogues/files/cataloguefiles.h"

#include <optional>
#include <string>

namespace stats::catalogues {

namespace {

// The first character of well-formed UTF-8 @p text that no name may hold.
[[nodiscard]] std::optional<char32_t> firstRefusedCharacter(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80U ? 1 : lead < 0xE0U ? 2 : lead < 0xF0U ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x7FU >> length);
        for (std::size_t i = 1; i < length; ++i) {
            code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3FU);
        }
        if (isRefusedInNames(code)) {
            return code;
        }
        at += length;
    }
    return std::nullopt;
}

std::string codePointText(char32_t code)
{
    std::string text = "U+";
    for (int shift = code > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4) {
        text.push_back("0123456789ABCDEF"[(code >> shift) & 0xFU]);
    }
    return text;
}

// Why the blanks at the ends of @p text are refused, or nothing. A name is matched to a
// trimmed cell, so a blank at either end would keep the pack's own export from importing;
// held items alone end in one blank, which the match allows for.
[[nodiscard]] std::optional<std::string> blankFault(const CatalogueFile &file,
                                                    std::string_view text)
{
    if (text.starts_with(' ')) {
        return "starts with a blank";
    }
    const bool oneAllowed = file.values == image::ValueList::HeldItems;
    if (text.ends_with(oneAllowed ? "  " : " ")) {
        return oneAllowed ? "ends with more than one blank" : "ends with a blank";
    }
    return std::nullopt;
}

void checkRowCount(const CatalogueFile &file, const DataFile &data, FaultLog &out)
{
    const auto [fewest, most] = rowLimits(file);
    const int rows = static_cast<int>(data.rows.size());
    if (rows >= fewest && rows <= most) {
        return;
    }
    std::string message =
        "the list has " + std::to_string(rows) + (rows == 1 ? " row" : " rows") + "; it must have ";
    message += fewest == most ? "exactly " + std::to_string(fewest)
                              : std::to_string(fewest) + " to " + std::to_string(most);
    // Too many rows: point at the first extra line. Too few: at the last line there is.
    out.add({data.path, rows > most ? most + 1 : std::max(rows, 1), std::move(message)});
}

} // namespace

void checkStructure(const CatalogueFile &file, const DataFile &data, FaultLog &out)
{
    checkRowCount(file, data, out);
    for (std::size_t row = 0; row < data.rows.size(); ++row) {
        const std::string &text = data.rows[row];
        const int line = static_cast<int>(row) + 1;
        if (!isValidUtf8(text)) {
            continue; // reported while reading
        }
        const auto rowText = [row] { return "row " + std::to_string(row); };
        if (const int length = characterCount(text); length > kLongestText) {
            out.addMade([&] {
                return Diagnostic{data.path, line,
                                  rowText() + " has " + std::to_string(length) +
                                      " characters; at most " + std::to_string(kLongestText) +
                                      " are allowed"};
            });
        }
        if (const auto refused = firstRefusedCharacter(text)) {
            out.addMade([&] {
                return Diagnostic{data.path, line,
                                  rowText() + " holds " + codePointText(*refused) +
                                      ", a control character or one that is invisible or turns "
                                      "the text around (such as a tab, a lone carriage return "
                                      "or a direction mark)"};
            });
        }
        if (const auto blanks = blankFault(file, text)) {
            out.addMade([&] { return Diagnostic{data.path, line, rowText() + " " + *blanks}; });
        }
    }
}

} // namespace stats::catalogues
