#include "catalogues/files/cataloguefiles.h"

namespace stats::catalogues {

namespace {

// C0 controls, DEL and C1 controls: a name never needs one, and a terminal that is shown one
// can be made to do things.
[[nodiscard]] bool holdsControlCharacter(std::string_view text)
{
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const bool c1 = byte == 0xC2U && at + 1 < text.size() &&
                        static_cast<unsigned char>(text[at + 1]) >= 0x80U &&
                        static_cast<unsigned char>(text[at + 1]) <= 0x9FU;
        if (byte < 0x20U || byte == 0x7FU || c1) {
            return true;
        }
    }
    return false;
}

void checkRowCount(const CatalogueFile &file, const DataFile &data, Diagnostics &out)
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
    out.push_back({data.path, rows > most ? most + 1 : std::max(rows, 1), std::move(message)});
}

} // namespace

Diagnostics checkStructure(const CatalogueFile &file, const DataFile &data)
{
    Diagnostics out;
    checkRowCount(file, data, out);
    for (std::size_t row = 0; row < data.rows.size(); ++row) {
        const std::string &text = data.rows[row];
        const int line = static_cast<int>(row) + 1;
        if (!isValidUtf8(text)) {
            continue; // reported while reading
        }
        if (const int length = characterCount(text); length > kLongestText) {
            out.push_back({data.path, line,
                           "row " + std::to_string(row) + " has " + std::to_string(length) +
                               " characters; at most " + std::to_string(kLongestText) +
                               " are allowed"});
        }
        if (holdsControlCharacter(text)) {
            out.push_back({data.path, line,
                           "row " + std::to_string(row) +
                               " holds a control character (such as a tab or a lone carriage "
                               "return)"});
        }
    }
    return out;
}

} // namespace stats::catalogues
