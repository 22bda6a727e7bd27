#include "table/tablechanges.h"

#include "image/numbertext.h"
#include "table/tablecsv.h"

#include <cstring>

namespace stats::table {

namespace {

using catalogues::CatalogueSet;
using image::FieldInfo;

// Appends a value as a report shows it: the byte, and for a choice its row's text.
void appendReportValue(std::string &out, const CatalogueSet &names, const FieldInfo &field,
                       std::uint8_t byte)
{
    out += image::numberText(byte);
    if (field.kind() == image::FieldKind::Choice) {
        if (const auto text = choiceText(field, byte, names)) {
            out += " \"";
            out += shownEscaped(*text);
            out += '"';
        }
    }
}

// A text as one Markdown table cell shows it literally: no blanks at its ends, and a
// backslash before each character that would end the cell or start inline markup.
std::string markdownCell(std::string_view text)
{
    constexpr std::string_view kMarkup = "\\|`*_[]<>~";
    std::string cell;
    for (const char c : shownEscaped(image::trimBlanks(text))) {
        if (kMarkup.find(c) != std::string_view::npos) {
            cell += '\\';
        }
        cell += c;
    }
    return cell;
}

// A value as the change list shows it: a choice as its row's text where it has a row.
std::string markdownValue(const CatalogueSet &names, const FieldInfo &field, std::uint8_t byte)
{
    if (field.kind() == image::FieldKind::Choice) {
        if (const auto text = choiceText(field, byte, names)) {
            return markdownCell(*text);
        }
    }
    return image::numberText(byte);
}

// Appends the report line of `change`; how many of its values change.
std::size_t appendChangeLine(std::string &out, const CatalogueSet &names, const EntryChange &change)
{
    out += entryLabel(names, change.range, change.row);
    std::size_t values = 0;
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        if (change.old[i] == change.now[i]) {
            continue;
        }
        const FieldInfo &field = image::kFields[i];
        out += values == 0 ? ": " : ", ";
        out += field.name;
        out += ' ';
        appendReportValue(out, names, field, change.old[i]);
        out += " -> ";
        appendReportValue(out, names, field, change.now[i]);
        ++values;
    }
    out += '\n';
    return values;
}

// Compared with a memcmp of a fixed size, which the compiler turns into two loads; the
// array's own operator calls the library's memcmp for each of the 667 records.
bool differ(const image::FieldBytes &a, const image::FieldBytes &b)
{
    return std::memcmp(a.data(), b.data(), a.size()) != 0;
}

} // namespace

std::vector<EntryChange> tableChanges(const image::TableBytes &old, const image::TableBytes &now)
{
    std::vector<EntryChange> changes;
    std::size_t record = 0;
    for (const image::RangeInfo &info : image::kRanges) {
        for (int row = 0; row < info.rowCount; ++row, ++record) {
            if (record < old.size() && record < now.size() && differ(old[record], now[record])) {
                changes.push_back({info.range, row, old[record], now[record]});
            }
        }
    }
    return changes;
}

std::string entryLabel(const CatalogueSet &names, image::Range range, int row)
{
    std::string label(image::rangeInfo(range).name);
    label += " row ";
    label += std::to_string(row);
    label += " \"";
    label += shownEscaped(names.entryName(range, row));
    label += '"';
    return label;
}

std::vector<std::string> valuesWithoutRow(std::span<const EntryChange> changes,
                                          const CatalogueSet &names)
{
    std::vector<std::string> cells;
    for (const EntryChange &change : changes) {
        for (std::size_t i = 0; i < image::kFields.size(); ++i) {
            const FieldInfo &field = image::kFields[i];
            if (change.old[i] != change.now[i] && field.kind() == image::FieldKind::Choice &&
                change.now[i] >= catalogues::storableRows(names.values(*field.list))) {
                cells.push_back(entryLabel(names, change.range, change.row) + " " +
                                std::string(field.name) + " " + image::numberText(change.now[i]));
            }
        }
    }
    return cells;
}

std::string changesReport(std::span<const EntryChange> changes, const CatalogueSet &names)
{
    std::string out;
    std::size_t values = 0;
    for (const EntryChange &change : changes) {
        values += appendChangeLine(out, names, change);
    }
    out += std::to_string(changes.size());
    out += changes.size() == 1 ? " entry changes, " : " entries change, ";
    out += std::to_string(values);
    out += values == 1 ? " value.\n" : " values.\n";
    return out;
}

std::string changesMarkdown(std::span<const EntryChange> changes, const CatalogueSet &names)
{
    std::string out = "| entry | list | field | old | new |\n"
                      "| --- | --- | --- | --- | --- |\n";
    for (const EntryChange &change : changes) {
        const std::string entry = markdownCell(names.entryName(change.range, change.row));
        const std::string list = std::string(image::rangeInfo(change.range).name) + ", row " +
                                 std::to_string(change.row);
        for (std::size_t i = 0; i < image::kFields.size(); ++i) {
            if (change.old[i] == change.now[i]) {
                continue;
            }
            const FieldInfo &field = image::kFields[i];
            out += "| " + entry + " | " + list + " | " + std::string(field.name) + " | " +
                   markdownValue(names, field, change.old[i]) + " | " +
                   markdownValue(names, field, change.now[i]) + " |\n";
        }
    }
    return out;
}

} // namespace stats::table
