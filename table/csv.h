#pragma once

/// @file
/// Comma-separated values as RFC 4180 has them, read the way spreadsheet programs write them.

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stats::table {

/// A place where the text is not CSV: its line, its cell in the record (counting from 1),
/// and why.
struct CsvFault
{
    int line;
    std::size_t column;
    std::string reason;
};

/// One record of a CSV text: the line it begins on (counting from 1), its cells up to the
/// reader's limit, and the places where it is not CSV.
struct CsvRecord
{
    int line = 0;
    std::vector<std::string> cells;
    /// How many cells past the limit the record has, up to its last one that is not empty:
    /// 0 when every cell past the limit is empty.
    std::size_t cellsPastLimit = 0;
    std::vector<CsvFault> faults;
};

/// Splits a text into records and cells, one record at a time, so that the memory a text
/// takes is bounded by its longest record. Cells are separated by commas (or by the
/// @p separator given, such as the tab a spreadsheet puts on the clipboard) and records by
/// CRLF, LF or CR; a cell in double quotes may hold commas, line ends and doubled quotes,
/// which stand for one. A UTF-8 byte order mark at the start is skipped, and a line end after
/// the last record adds no record. Text after a closing quote is a fault (and joins the
/// cell's text); a quote that is never closed is a fault that ends the text. A record
/// keeps at most @p cellLimit cells, and faults only in those and for an unclosed quote.
class CsvReader
{
public:
    explicit CsvReader(std::string_view text,
                       std::size_t cellLimit = std::numeric_limits<std::size_t>::max(),
                       char separator = ',');

    /// The next record, or nothing at the end of the text.
    [[nodiscard]] std::optional<CsvRecord> next();

private:
    bool skip(char c);
    void skipLineEnd();
    [[nodiscard]] bool atCellEnd() const;
    std::string readCell(CsvRecord &record, std::size_t column);

    std::string_view m_text;
    std::size_t m_cellLimit;
    char m_separator;
    std::size_t m_at = 0;
    int m_line = 1;
    bool m_ended = false;
};

/// Appends @p cell to @p out, in double quotes when it holds a comma, a tab, a quote or a line end,
/// or begins or ends with a blank, which a spreadsheet could otherwise trim.
void appendCsvCell(std::string &out, std::string_view cell);

/// Whether every cell of @p record is empty: a blank line, or a spreadsheet's empty row.
[[nodiscard]] bool isBlankRecord(const CsvRecord &record);

} // namespace stats::table
