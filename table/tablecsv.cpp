#include "table/tablecsv.h"

#include "catalogues/catalogues.h"
#include "catalogues/files/cataloguefiles.h"
#include "catalogues/files/utf8.h"
#include "image/numbertext.h"
#include "table/csv.h"

#include <algorithm>
#include <charconv>
#include <expected>
#include <initializer_list>
#include <span>
#include <unordered_map>

namespace stats::table {

namespace {

using catalogues::Catalogue;
using catalogues::CatalogueSet;
using catalogues::ValueList;
using image::FieldBytes;
using image::FieldInfo;
using image::FieldKind;
using image::Range;
using image::TableBytes;
using image::trimBlanks;

constexpr std::array<std::string_view, image::kValueListCount> kListNames{
    "type list", "held-item list", "ability list", "Dream World ability list"};

// Cells are echoed in faults up to this many bytes, so a pasted paragraph stays readable.
constexpr std::size_t kEchoLimit = 40;

// A spreadsheet set to a language that writes decimal commas may separate cells with
// semicolons; the header's fault says what is expected.
constexpr std::string_view kHeaderFault =
    "the header row must read, with commas between the cells: ";

// A number of more digits than this stands for kBeyondEveryList, past every list and range.
constexpr std::size_t kNumberDigits = 4;
constexpr int kBeyondEveryList = 99999;

std::string_view listName(ValueList list)
{
    return kListNames[static_cast<std::size_t>(list)];
}

// The parts as one text. Messages are joined this way rather than with operator+, which
// copies at each step (and which GCC 12 at -O3 warns about, wrongly).
std::string joined(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

// A cell as a fault shows it: in quotes, escaped, long ones cut short between two characters.
std::string echoed(std::string_view cell)
{
    return joined({"\"", shownEscaped(cell, kEchoLimit), "\""});
}

// Appends the decimal digits of @p value, with no text made on the way.
void appendDecimal(std::string &out, int value)
{
    char digits[16];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    out.append(digits, end);
}

std::string decimal(int value)
{
    std::string text;
    appendDecimal(text, value);
    return text;
}

// The value of a cell of plain digits (leading zeros allowed); nothing for any other text.
std::optional<int> plainNumber(std::string_view text)
{
    if (text.empty() || !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    if (text.size() > kNumberDigits) {
        return kBeyondEveryList;
    }
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string rowList(const std::vector<int> &rows)
{
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += i == 0 ? "" : i + 1 == rows.size() ? " and " : ", ";
        text += decimal(rows[i]);
    }
    return text;
}

// The import's rule for the cells of one value list: a row's number, or a text that names
// exactly one row a byte can hold. Texts are found through their folded form, so a whole
// table of cells costs no more than reading it.
class ChoiceRule
{
public:
    ChoiceRule(const Catalogue &list, ValueList which) : m_list(list), m_name(listName(which))
    {
        for (int row = 0; row < list.rowCount(); ++row) {
            m_rowsByText[catalogues::nameKey(list.text(row))].push_back(row);
        }
    }

    // The byte @p cell stands for. A number without a row is taken only when it is the byte
    // the image holds already (@p held), so that an image holding such a byte exports and
    // imports back unchanged.
    [[nodiscard]] std::expected<std::uint8_t, std::string>
    byteOf(std::string_view cell, std::optional<std::uint8_t> held) const
    {
        const int storable = catalogues::storableRows(m_list);
        const std::string_view text = trimBlanks(cell);
        if (const auto number = plainNumber(text)) {
            if (const auto byte = catalogues::choiceByte(m_list, *number, held)) {
                return *byte;
            }
            return std::unexpected(joined(
                {text, " has no row in the ", m_name, " (rows 0 to ", decimal(storable - 1), ")"}));
        }
        std::vector<int> named = rowsNamed(text);
        if (named.empty()) {
            return std::unexpected(joined({echoed(cell), " names no row of the ", m_name}));
        }
        if (named.front() >= storable) {
            return std::unexpected(joined({echoed(cell), " names row ", decimal(named.front()),
                                           " of the ", m_name, ", which one byte cannot hold"}));
        }
        std::erase_if(named, [storable](int row) { return row >= storable; });
        if (named.size() > 1) {
            return std::unexpected(joined({echoed(cell), " names rows ", rowList(named),
                                           "; give the number of the one you mean"}));
        }
        return static_cast<std::uint8_t>(named.front());
    }

    // The cell an export writes for @p byte: its row's text where that text reads back as the
    // same byte, else its number (no row, or a text several rows share).
    [[nodiscard]] std::string exportCell(std::uint8_t byte) const
    {
        std::string cell;
        const std::string_view text = m_list.text(byte);
        if (byte < m_list.rowCount() && byteOf(text, std::nullopt) == byte) {
            appendCsvCell(cell, text);
        } else {
            cell = image::numberText(byte);
        }
        return cell;
    }

    // Whether @p cell is a text that names no row at all (not a number).
    [[nodiscard]] bool namesNoRow(std::string_view cell) const
    {
        const std::string_view text = trimBlanks(cell);
        return !plainNumber(text) && rowsNamed(text).empty();
    }

private:
    // Every row whose text is the same name as `text`, as the editor compares names, or is
    // that name with a blank added, since a spreadsheet may trim the blank that ends each
    // held item.
    [[nodiscard]] std::vector<int> rowsNamed(std::string_view text) const
    {
        std::vector<int> rows;
        std::string key = catalogues::nameKey(text);
        for (int variant = 0; variant < 2; ++variant, key += ' ') {
            if (const auto found = m_rowsByText.find(key); found != m_rowsByText.end()) {
                rows.insert(rows.end(), found->second.begin(), found->second.end());
            }
        }
        std::ranges::sort(rows);
        return rows;
    }

    const Catalogue &m_list;
    std::string_view m_name;
    std::unordered_map<std::string, std::vector<int>> m_rowsByText;
};

// One rule per value list, in ValueList order.
using ChoiceRules = std::vector<ChoiceRule>;

ChoiceRules choiceRules(const CatalogueSet &names)
{
    ChoiceRules rules;
    rules.reserve(image::kValueListCount);
    for (std::size_t l = 0; l < image::kValueListCount; ++l) {
        const auto list = static_cast<ValueList>(l);
        rules.emplace_back(names.values(list), list);
    }
    return rules;
}

const ChoiceRule &ruleOf(const ChoiceRules &rules, const FieldInfo &field)
{
    return rules[static_cast<std::size_t>(*field.list)];
}

std::string headerText(char separator = ',')
{
    std::string header;
    for (const std::string_view name : kColumnNames) {
        if (!header.empty()) {
            header += separator;
        }
        header += name;
    }
    return header;
}

// The number of the first line of @p text that is not UTF-8, if any.
std::optional<int> firstLineNotUtf8(std::string_view text)
{
    int line = 1;
    while (!text.empty()) {
        const auto [character, length] = catalogues::firstCharacter(text);
        if (length == 0) {
            return line;
        }
        line += character == U'\n' ? 1 : 0;
        text.remove_prefix(length);
    }
    return std::nullopt;
}

// Reads the rows of an import file one by one, collecting the first faults and counting
// the others.
class ImportReader
{
public:
    ImportReader(const TableBytes &current, const CatalogueSet &names, std::size_t faultLimit)
        : m_current(current), m_names(names), m_values(names), m_lineOfRecord(current.size(), 0),
          m_faultLimit(faultLimit)
    {
    }

    ImportTable read(std::string_view text)
    {
        if (text.find('\0') != std::string_view::npos || text.starts_with("\xFF\xFE") ||
            text.starts_with("\xFE\xFF")) {
            addFault(1, 0,
                     "the file is not UTF-8 text: it looks like UTF-16, or like no text at "
                     "all. Save it as CSV with the character set Unicode (UTF-8)");
            keepFaults();
        } else if (const auto line = firstLineNotUtf8(text)) {
            addFault(*line, 0,
                     "the file is not UTF-8 text: this line holds a byte that is no UTF-8 "
                     "character, as a file saved in another character set does. Save it as "
                     "\"CSV UTF-8\" (or as CSV with the character set Unicode (UTF-8))");
            keepFaults();
        } else {
            readRecords(text);
        }
        if (m_result.faultCount > 0) {
            m_result.rows.clear();
        }
        return std::move(m_result);
    }

private:
    void readRecords(std::string_view text)
    {
        // A record keeps no more cells than the header has: a longer one is one fault.
        CsvReader csv(text, kColumnCount);
        bool headerRead = false;
        while (auto record = csv.next()) {
            if (record->faults.empty() && isBlankRecord(*record)) {
                continue;
            }
            const bool isHeader = !headerRead;
            headerRead = true;
            if (!record->faults.empty()) {
                // A record that is not CSV is reported for that alone: its cells may have
                // slipped, and an unclosed quote swallowed the rest of the file.
                for (CsvFault &fault : record->faults) {
                    addFault(fault.line, fault.column, std::move(fault.reason));
                }
            } else if (isHeader) {
                readHeader(*record);
            } else {
                readRow(*record);
            }
            // Without its header, no row can be read.
            const bool headerFailed = isHeader && !m_recordFaults.empty();
            keepFaults();
            if (headerFailed) {
                return;
            }
        }
        if (!headerRead) {
            addFault(1, 0, joined({"the file is empty; ", kHeaderFault, headerText()}));
            keepFaults();
        }
    }

    void addFault(int line, std::size_t column, std::string reason)
    {
        m_recordFaults.push_back({line, column, std::move(reason)});
    }

    // The faults of one record, in the order of their lines and columns, up to the limit.
    void keepFaults()
    {
        std::ranges::stable_sort(m_recordFaults, {}, [](const ImportFault &fault) {
            return std::pair{fault.line, fault.column};
        });
        for (ImportFault &fault : m_recordFaults) {
            if (m_result.faults.size() < m_faultLimit) {
                m_result.faults.push_back(std::move(fault));
            }
        }
        m_result.faultCount += m_recordFaults.size();
        m_recordFaults.clear();
    }

    // How many cells a record has, without the empty ones a spreadsheet may add after the
    // last column.
    static std::size_t cellCountOf(const CsvRecord &record)
    {
        if (record.cellsPastLimit > 0) {
            return kColumnCount + record.cellsPastLimit;
        }
        std::size_t count = record.cells.size();
        while (count > kColumnCount && record.cells[count - 1].empty()) {
            --count;
        }
        return count;
    }

    void readHeader(const CsvRecord &record)
    {
        const auto &cells = record.cells;
        for (std::size_t i = 0; i < std::min(cells.size(), kColumnCount); ++i) {
            if (columnNamed(cells[i]) != i) {
                addFault(record.line, i + 1, joined({kHeaderFault, headerText()}));
                return;
            }
        }
        if (cellCountOf(record) != kColumnCount) {
            addFault(record.line, 0, joined({kHeaderFault, headerText()}));
        }
    }

    // The entry a row names, checked against the lists; nothing when it names none.
    std::optional<ImportRow> readEntry(int line, std::span<const std::string> cells)
    {
        static constexpr std::array<std::string_view, image::kRanges.size()> rangeNames{
            image::kRanges[0].name, image::kRanges[1].name, image::kRanges[2].name};
        static const Catalogue lists{rangeNames};
        const auto list = lists.findExact(trimBlanks(cells[0]));
        if (!list) {
            addFault(line, 1,
                     joined({echoed(cells[0]),
                             " is not a list; the lists are List 1, List 2 and Alternate forms"}));
        }
        const auto row = plainNumber(trimBlanks(cells[1]));
        if (!row) {
            addFault(line, 2, joined({echoed(cells[1]), " is not a row number"}));
        }
        if (!list || !row) {
            return std::nullopt;
        }
        const image::RangeInfo &info = image::kRanges[static_cast<std::size_t>(*list)];
        const auto entry = [&] { return joined({info.name, " row ", decimal(*row)}); };
        if (!image::isRowInRange(info.range, *row)) {
            addFault(line, 2, joined({info.name, " has rows 0 to ", decimal(info.rowCount - 1)}));
            return std::nullopt;
        }
        const Catalogue &names = m_names.entries(info.range);
        // The row's own text first; the whole list only to say which row a wrong name names.
        const std::string_view name = trimBlanks(cells[2]);
        if (!catalogues::sameName(names.text(*row), name)) {
            const auto named = names.findExact(name);
            std::string reason = joined({echoed(cells[2]), " is not the name of ", entry(), ", ",
                                         echoed(names.text(*row))});
            if (named) {
                reason +=
                    joined({", but of row ", decimal(*named), ": are the rows sorted or shifted?"});
            } else {
                ++m_result.unknownNames;
            }
            addFault(line, 3, std::move(reason));
        }
        const auto record = static_cast<std::size_t>(catalogues::recordOfRow(info.range, *row));
        if (const int first = m_lineOfRecord[record]; first != 0) {
            addFault(line, 2, joined({entry(), " is already given on line ", decimal(first)}));
        } else {
            m_lineOfRecord[record] = line;
        }
        return ImportRow{info.range, static_cast<std::int16_t>(*row), line, m_current[record]};
    }

    void readRow(const CsvRecord &record)
    {
        const std::size_t count = cellCountOf(record);
        if (count != kColumnCount) {
            addFault(record.line, 0,
                     joined({"the row has ", std::to_string(count), count == 1 ? " cell" : " cells",
                             "; the header has ", decimal(kColumnCount)}));
            return;
        }
        const std::span<const std::string> cells(record.cells);
        auto entry = readEntry(record.line, cells);
        FieldBytes bytes{};
        for (std::size_t i = 0; i < image::kFields.size(); ++i) {
            const FieldInfo &field = image::kFields[i];
            const std::string &cell = cells[kEntryColumns + i];
            const std::size_t column = kEntryColumns + i + 1;
            if (trimBlanks(cell).empty()) {
                // An empty cell keeps what the image holds, so a file may give only the
                // values it changes.
                bytes[i] = entry ? entry->bytes[i] : 0;
                continue;
            }
            const auto held = entry ? std::optional(entry->bytes[i]) : std::nullopt;
            const auto byte = m_values.byteOf(field, cell, held);
            if (!byte) {
                addFault(record.line, column, byte.error().reason);
                m_result.unknownNames += byte.error().namesNoRow ? 1U : 0U;
            }
            bytes[i] = byte.value_or(0);
        }
        if (entry && m_recordFaults.empty()) {
            entry->bytes = bytes;
            m_result.rows.push_back(*entry);
        }
    }

    const TableBytes &m_current;
    const CatalogueSet &m_names;
    ValueCells m_values;
    std::vector<int> m_lineOfRecord;
    std::size_t m_faultLimit;
    std::vector<ImportFault> m_recordFaults;
    ImportTable m_result;
};

// The cell of every byte of every value list, made once per export with names.
class ChoiceCells
{
public:
    explicit ChoiceCells(const CatalogueSet &names)
    {
        const ChoiceRules rules = choiceRules(names);
        for (std::size_t l = 0; l < rules.size(); ++l) {
            for (std::size_t b = 0; b < 256; ++b) {
                m_cells[l][b] = rules[l].exportCell(static_cast<std::uint8_t>(b));
            }
        }
    }

    [[nodiscard]] const std::string &cell(ValueList list, std::uint8_t byte) const
    {
        return m_cells[static_cast<std::size_t>(list)][byte];
    }

private:
    std::array<std::array<std::string, 256>, image::kValueListCount> m_cells;
};

// The cells that name an entry: its list, its row and its name.
void appendEntryCells(std::string &out, const image::RangeInfo &info, int row,
                      const CatalogueSet &names, char separator = ',')
{
    out += info.name;
    out += separator;
    appendDecimal(out, row);
    out += separator;
    appendCsvCell(out, names.entryName(info.range, row));
}

// A value's cell: its number, or with `cells` a choice as its row's text.
void appendValueCell(std::string &out, const FieldInfo &field, std::uint8_t byte,
                     const std::optional<ChoiceCells> &cells)
{
    if (cells && field.list) {
        out += cells->cell(*field.list, byte);
    } else {
        appendDecimal(out, byte);
    }
}

} // namespace

struct ValueCells::Rules
{
    ChoiceRules choices;
};

ValueCells::ValueCells(const CatalogueSet &names)
    : m_rules(std::make_unique<const Rules>(Rules{choiceRules(names)}))
{
}

ValueCells::~ValueCells() = default;

std::expected<std::uint8_t, CellFault> ValueCells::byteOf(const FieldInfo &field,
                                                          std::string_view cell,
                                                          std::optional<std::uint8_t> held) const
{
    switch (field.kind()) {
    case FieldKind::Number:
        if (const auto byte = image::parseNumberText(cell)) {
            return *byte;
        }
        return std::unexpected(CellFault{joined({echoed(cell), " is not a number from 0 to 255"})});
    case FieldKind::Choice:
        break;
    }
    const ChoiceRule &rule = ruleOf(m_rules->choices, field);
    auto byte = rule.byteOf(cell, held);
    if (!byte) {
        return std::unexpected(CellFault{std::move(byte.error()), rule.namesNoRow(cell)});
    }
    return *byte;
}

std::optional<std::size_t> columnNamed(std::string_view cell)
{
    static const Catalogue columns{kColumnNames};
    const auto column = columns.findExact(trimBlanks(cell));
    if (!column) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(*column);
}

std::string entryRowText(Range range, int row, const FieldBytes &bytes, const CatalogueSet &names,
                         char separator)
{
    const ChoiceRules rules = choiceRules(names);
    std::string out = headerText(separator);
    out += '\n';
    appendEntryCells(out, image::rangeInfo(range), row, names, separator);
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        const FieldInfo &field = image::kFields[i];
        out += separator;
        if (field.list) {
            out += ruleOf(rules, field).exportCell(bytes[i]);
        } else {
            appendDecimal(out, bytes[i]);
        }
    }
    out += '\n';
    return out;
}

std::string tableCsv(const TableBytes &table, const CatalogueSet &names, bool withNames)
{
    const auto cells = withNames ? std::optional(ChoiceCells(names)) : std::nullopt;
    std::string out = joined({headerText(), "\r\n"});
    out.reserve(table.size() * 96);
    std::size_t record = 0;
    for (const image::RangeInfo &info : image::kRanges) {
        for (int row = 0; row < info.rowCount && record < table.size(); ++row, ++record) {
            appendEntryCells(out, info, row, names);
            for (std::size_t i = 0; i < image::kFields.size(); ++i) {
                out += ',';
                appendValueCell(out, image::kFields[i], table[record][i], cells);
            }
            out += "\r\n";
        }
    }
    return out;
}

std::string changesCsv(std::span<const EntryChange> changes, const CatalogueSet &names,
                       bool withNames)
{
    const auto cells = withNames ? std::optional(ChoiceCells(names)) : std::nullopt;
    std::string out = joined({headerText(), "\r\n"});
    for (const EntryChange &change : changes) {
        appendEntryCells(out, image::rangeInfo(change.range), change.row, names);
        for (std::size_t i = 0; i < image::kFields.size(); ++i) {
            out += ',';
            if (change.old[i] != change.now[i]) {
                appendValueCell(out, image::kFields[i], change.now[i], cells);
            }
        }
        out += "\r\n";
    }
    return out;
}

ImportTable readImportCsv(std::string_view text, const TableBytes &current,
                          const CatalogueSet &names, std::size_t faultLimit)
{
    return ImportReader(current, names, faultLimit).read(text);
}

std::optional<std::string_view> choiceText(const FieldInfo &field, std::uint8_t byte,
                                           const CatalogueSet &names)
{
    const Catalogue &rows = names.values(*field.list);
    if (byte >= rows.rowCount()) {
        return std::nullopt;
    }
    return rows.text(byte);
}

} // namespace stats::table
