#pragma once

/// @file
/// Comma-separated values as RFC 4180 has them, read the way spreadsheet programs write them.

#include <string>
#include <string_view>
#include <vector>

namespace stats::table {

/// One record of a CSV text: its cells, and the line it begins on (counting from 1).
struct CsvRecord
{
    int line;
    std::vector<std::string> cells;
};

/// A place where the text is not CSV, and why.
struct CsvFault
{
    int line;
    std::string reason;
};

struct CsvText
{
    std::vector<CsvRecord> records;
    std::vector<CsvFault> faults;
};

/// Splits @p text into records and cells. Cells are separated by commas and records by CRLF,
/// LF or CR; a cell in double quotes may hold commas, line ends and doubled quotes, which
/// stand for one. A UTF-8 byte order mark at the start is skipped, and a line end after the
/// last record adds no record. Text after a closing quote is a fault (the rest of its cell is
/// skipped); a quote that is never closed is a fault that ends the text.
[[nodiscard]] CsvText parseCsv(std::string_view text);

/// Appends @p cell to @p out, in double quotes when it holds a comma, a quote or a line end,
/// or begins or ends with a blank, which a spreadsheet could otherwise trim.
void appendCsvCell(std::string &out, std::string_view cell);

/// Whether every cell of @p record is empty: a blank line, or a spreadsheet's empty row.
[[nodiscard]] bool isBlankRecord(const CsvRecord &record);

} // namespace stats::table
