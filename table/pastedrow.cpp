#include "table/pastedrow.h"

#include "image/numbertext.h"
#include "table/csv.h"
#include "table/tablecsv.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

namespace stats::table {

namespace {

// A header and its row, and one line more to refuse: nothing past it is read.
constexpr std::size_t kRecordsRead = 3;

std::string columnList()
{
    std::string text;
    for (const std::string_view name : kColumnNames) {
        text += text.empty() ? "" : ", ";
        text += name;
    }
    return text;
}

// "line 2, column 4 (hp): " and the reason in its parts, or "line 2: " for a fault of the whole
// line. Texts are appended rather than joined with operator+, which copies at each step (and
// which GCC 12 at -O3 warns about, wrongly).
std::unexpected<std::string> fault(int line, std::size_t column, std::optional<std::size_t> named,
                                   std::initializer_list<std::string_view> reason)
{
    std::string text = "line ";
    text += std::to_string(line);
    if (column > 0) {
        text += ", column ";
        text += std::to_string(column);
    }
    if (named) {
        text += " (";
        text += kColumnNames[*named];
        text += ')';
    }
    text += ": ";
    for (const std::string_view part : reason) {
        text += part;
    }
    return std::unexpected(std::move(text));
}

bool isEmptyCell(std::string_view cell)
{
    return image::trimBlanks(cell).empty();
}

// How many cells a record has, without the empty ones a spreadsheet may add past `wanted`.
std::size_t cellCount(const CsvRecord &record, std::size_t wanted)
{
    std::size_t count = record.cells.size();
    while (count > wanted && isEmptyCell(record.cells[count - 1])) {
        --count;
    }
    return count;
}

// Which column of the export each cell of a row stands for.
using Columns = std::vector<std::size_t>;

Columns columnsFrom(std::size_t first)
{
    Columns columns(kColumnCount - first);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        columns[i] = first + i;
    }
    return columns;
}

// A row without a header: the fifteen values, or a whole row of the export, which begins with
// the name of a list where the values begin with a number.
std::expected<Columns, std::string> columnsByPosition(const CsvRecord &record)
{
    const std::string_view first = image::trimBlanks(record.cells.front());
    const bool wholeRow = std::ranges::any_of(image::kRanges, [first](const auto &info) {
        return catalogues::sameName(first, info.name);
    });
    const std::size_t wanted = wholeRow ? kColumnCount : image::kFields.size();
    if (const std::size_t count = cellCount(record, wanted); count != wanted) {
        return fault(record.line, 0, std::nullopt,
                     {"the row has ", std::to_string(count), count == 1 ? " cell" : " cells",
                      "; paste the 15 values hp to dw, a whole row of the export, or either "
                      "under its header"});
    }
    return columnsFrom(kColumnCount - wanted);
}

std::expected<Columns, std::string> columnsOfHeader(const CsvRecord &record)
{
    Columns columns;
    std::array<bool, kColumnCount> seen{};
    for (std::size_t i = 0; i < cellCount(record, 0); ++i) {
        const auto column = columnNamed(record.cells[i]);
        if (!column) {
            return fault(record.line, i + 1, std::nullopt,
                         {"\"", shownEscaped(record.cells[i], 40),
                          "\" is not a column of the export, whose columns are ", columnList()});
        }
        if (std::exchange(seen[*column], true)) {
            return fault(record.line, i + 1, column, {"the column is named twice"});
        }
        columns.push_back(*column);
    }
    for (std::size_t column = kEntryColumns; column < kColumnCount; ++column) {
        if (!seen[column]) {
            return fault(record.line, 0, std::nullopt,
                         {"the header has no column ", kColumnNames[column],
                          "; it must name all 15 values, hp to dw"});
        }
    }
    return columns;
}

std::expected<PastedValues, std::string> valuesOf(const CsvRecord &record, const Columns &columns,
                                                  const catalogues::CatalogueSet &names,
                                                  const std::optional<image::FieldBytes> &held)
{
    if (const std::size_t count = cellCount(record, columns.size()); count != columns.size()) {
        return fault(record.line, 0, std::nullopt,
                     {"the row has ", std::to_string(count), " cells; the header has ",
                      std::to_string(columns.size())});
    }
    const ValueCells rule(names);
    PastedValues values{};
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // The entry's own cells say where the values were copied from, not where they go.
        if (columns[i] < kEntryColumns) {
            continue;
        }
        const std::size_t f = columns[i] - kEntryColumns;
        const std::string &cell = record.cells[i];
        if (isEmptyCell(cell)) {
            continue;
        }
        const auto byte =
            rule.byteOf(image::kFields[f], cell, held ? std::optional((*held)[f]) : std::nullopt);
        if (!byte) {
            return fault(record.line, i + 1, columns[i], {byte.error().reason});
        }
        values[f] = *byte;
    }
    return values;
}

} // namespace

std::expected<PastedValues, std::string> readPastedRow(std::string_view text,
                                                       const catalogues::CatalogueSet &names,
                                                       const std::optional<image::FieldBytes> &held)
{
    // A spreadsheet puts tabs between the cells; a comma-separated row holds none in its
    // first line, unless in a quoted cell, which such a row seldom has.
    const std::string_view lines =
        text.substr(std::min(text.find_first_not_of("\r\n"), text.size()));
    const std::string_view firstLine = lines.substr(0, lines.find_first_of("\r\n"));
    const char separator = firstLine.find('\t') != std::string_view::npos ? '\t' : ',';
    CsvReader csv(text, std::numeric_limits<std::size_t>::max(), separator);
    std::vector<CsvRecord> records;
    while (records.size() < kRecordsRead) {
        auto record = csv.next();
        if (!record) {
            break;
        }
        if (!record->faults.empty()) {
            const CsvFault &first = record->faults.front();
            return fault(first.line, first.column, std::nullopt, {first.reason});
        }
        if (!std::ranges::all_of(record->cells, isEmptyCell)) {
            records.push_back(std::move(*record));
        }
    }
    if (records.empty()) {
        return std::unexpected(std::string("the clipboard holds no values"));
    }
    // No value of the first column, hp or list, reads as a column's name.
    const bool hasHeader = columnNamed(records.front().cells.front()).has_value();
    const std::size_t rowAt = hasHeader ? 1 : 0;
    if (records.size() <= rowAt) {
        return fault(records.front().line, 0, std::nullopt, {"the header has no row of values"});
    }
    if (records.size() > rowAt + 1) {
        return fault(records[rowAt + 1].line, 0, std::nullopt,
                     {"only one row can be pasted, the values of one entry"});
    }
    const auto columns =
        hasHeader ? columnsOfHeader(records.front()) : columnsByPosition(records[rowAt]);
    if (!columns) {
        return std::unexpected(columns.error());
    }
    return valuesOf(records[rowAt], *columns, names, held);
}

} // namespace stats::table
