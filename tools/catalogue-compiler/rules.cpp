#include "tools/catalogue-compiler/rules.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

namespace stats::tools {

namespace {

using catalogues::characterCount;
using image::Range;

constexpr int kEntryNameLength = 10;
constexpr int kFormNameLength = 26;
constexpr int kTypeNameLength = 8;
constexpr int kItemNameLength = 22;
constexpr int kAbilityNameLength = 15;

constexpr std::string_view kNoItem = "None ";
constexpr std::string_view kUnusedItem = "??? ";
constexpr std::string_view kNoAbility = "-No Ability-";
constexpr std::string_view kAccentedE = "\u00e9";

// Words that would stand for "no type"; every row of the type list is a real type.
constexpr std::array<std::string_view, 5> kNoTypeWords{"none", "null", "nothing", "empty",
                                                       "unknown"};

enum class FormPlacement : std::uint8_t { InParenthesesAfter, WordsBefore };

// Which main-run entry each run of alternate forms belongs to, in alternate-form row order.
struct FormGroup
{
    int firstRow;
    int rowCount;
    Range entryList;
    int entryRow;
    FormPlacement placement;
};

constexpr std::array<FormGroup, 9> kFormGroups{{
    {0, 3, Range::List1, 385, FormPlacement::InParenthesesAfter},
    {3, 2, Range::List1, 412, FormPlacement::InParenthesesAfter},
    {5, 1, Range::List1, 491, FormPlacement::InParenthesesAfter},
    {6, 1, Range::List1, 486, FormPlacement::InParenthesesAfter},
    {7, 5, Range::List1, 478, FormPlacement::WordsBefore},
    {12, 3, Range::List1, 350, FormPlacement::InParenthesesAfter},
    {15, 1, Range::List2, 2, FormPlacement::WordsBefore},
    {16, 1, Range::List2, 7, FormPlacement::InParenthesesAfter},
    {17, 1, Range::List2, 100, FormPlacement::InParenthesesAfter},
}};

enum class ItemRow : std::uint8_t { NoItem, Name, StarredName, Unused };

// The shape of the held-item list by position: which rows carry a name, a name with an
// asterisk, or the mark of an unused position.
struct ItemRun
{
    int firstRow;
    int lastRow;
    ItemRow kind;
};

constexpr std::array<ItemRun, 9> kItemRuns{{
    {0, 0, ItemRow::NoItem},
    {1, 111, ItemRow::Name},
    {112, 112, ItemRow::StarredName},
    {113, 115, ItemRow::Unused},
    {116, 119, ItemRow::StarredName},
    {120, 133, ItemRow::Unused},
    {134, 134, ItemRow::StarredName},
    {135, 464, ItemRow::Name},
    {465, 626, ItemRow::StarredName},
}};

constexpr std::array<int, 4> kAccentedItemRows{4, 63, 431, 577};
// The one item name that stands at two positions; the later row repeats the earlier.
constexpr int kRepeatedItemRow = 621;
constexpr int kRepeatingItemRow = 626;

[[nodiscard]] constexpr bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

[[nodiscard]] constexpr bool isLower(char c)
{
    return c >= 'a' && c <= 'z';
}

[[nodiscard]] constexpr bool isLetter(char c)
{
    return isUpper(c) || isLower(c);
}

[[nodiscard]] constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

[[nodiscard]] constexpr char toLower(char c)
{
    return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] std::string foldCase(std::string_view text)
{
    std::string folded(text);
    std::ranges::transform(folded, folded.begin(), toLower);
    return folded;
}

[[nodiscard]] bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return toLower(x) == toLower(y); });
}

[[nodiscard]] std::string inQuotes(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

[[nodiscard]] std::string rowsText(int first, int count)
{
    if (count == 1) {
        return "row " + std::to_string(first);
    }
    return "rows " + std::to_string(first) + " to " + std::to_string(first + count - 1);
}

[[nodiscard]] constexpr std::string_view listName(Range range)
{
    return image::rangeInfo(range).name;
}

[[nodiscard]] constexpr CatalogueFileId catalogueOf(Range range)
{
    switch (range) {
    case Range::List1:
        return CatalogueFileId::List1;
    case Range::List2:
        return CatalogueFileId::List2;
    case Range::AlternateForms:
        return CatalogueFileId::AlternateForms;
    }
    return CatalogueFileId::List1;
}

// Collects the faults of one file, each at the line of the row it concerns.
class Reporter
{
public:
    Reporter(const DataFile &file, Diagnostics &out) : m_file(file), m_out(out) {}

    void rowFault(int row, const std::string &rule)
    {
        m_out.push_back({m_file.path, row + 1, "row " + std::to_string(row) + " " + rule});
    }

    void lineFault(int line, std::string message)
    {
        m_out.push_back({m_file.path, line, std::move(message)});
    }

    void fileFault(std::string message) { m_out.push_back({m_file.path, 0, std::move(message)}); }

    [[nodiscard]] const DataFile &file() const { return m_file; }

private:
    const DataFile &m_file;
    Diagnostics &m_out;
};

[[nodiscard]] int rowCountOf(const DataFile &file)
{
    return static_cast<int>(file.rows.size());
}

// Any set of names may give a value list more or fewer rows; ours has the game's own count.
void checkRowCount(Reporter &report, const CatalogueFile &catalogue)
{
    const int actual = rowCountOf(report.file());
    const int expected = catalogue.builtInRows;
    if (catalogue.entries || actual == expected) {
        return; // an entry list's count is a rule of every set, checked with them
    }
    const std::string message = "the list has " + std::to_string(actual) +
                                " rows; it must have exactly " + std::to_string(expected);
    // Too many rows: point at the first extra line. Too few: at the last line there is.
    report.lineFault(actual > expected ? expected + 1 : std::max(actual, 1), message);
}

// The files we ship use LF line ends only, with one after the last line too, so that a diff
// of them shows every change and nothing else.
void checkLineEnds(Reporter &report)
{
    const std::string_view bytes = report.file().bytes;
    int line = 1;
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (bytes[at] == '\r') {
            report.lineFault(line, "line holds a carriage return; the data files use LF line ends "
                                   "only");
            at = bytes.find('\n', at);
            if (at == std::string_view::npos) {
                return;
            }
        }
        line += bytes[at] == '\n' ? 1 : 0;
    }
    if (!bytes.empty() && bytes.back() != '\n') {
        report.lineFault(line, "the last line must end in a line feed");
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        report.lineFault(1, "the file begins with a byte order mark; the data files have none");
    }
}

// Reports every row whose text repeats an earlier row's, letter case ignored. Rows for which
// @p skip holds take no part.
template <typename Skip>
void checkDistinct(Reporter &report, Skip skip, std::string_view explanation = {})
{
    std::unordered_map<std::string, int> firstRowOfText;
    const auto &rows = report.file().rows;
    for (int row = 0; row < rowCountOf(report.file()); ++row) {
        if (skip(row)) {
            continue;
        }
        const auto [found, inserted] =
            firstRowOfText.emplace(foldCase(rows[static_cast<std::size_t>(row)]), row);
        if (!inserted) {
            report.rowFault(row, "repeats row " + std::to_string(found->second) +
                                     " (letter case ignored)" + std::string(explanation));
        }
    }
}

[[nodiscard]] constexpr bool isEntryCharacter(char c)
{
    return isLetter(c) || isDigit(c) || c == ' ' || c == '-' || c == '\'' || c == '(' || c == ')';
}

void checkNoOuterBlanks(Reporter &report, int row, std::string_view text)
{
    if (text.front() == ' ') {
        report.rowFault(row, "must not begin with a blank");
    }
    if (text.back() == ' ') {
        report.rowFault(row, "must not end in a blank");
    }
}

void checkCapital(Reporter &report, int row, std::string_view text)
{
    if (!isUpper(text.front())) {
        report.rowFault(row, "must begin with a capital letter");
    }
}

void checkLength(Reporter &report, int row, std::string_view text, int maxLength,
                 std::string_view note = {})
{
    if (const int length = characterCount(text); length > maxLength) {
        report.rowFault(row, "has " + std::to_string(length) + " characters; at most " +
                                 std::to_string(maxLength) + " are allowed" + std::string(note));
    }
}

void checkEntryText(Reporter &report, int row, std::string_view text, int maxLength,
                    bool needsCapital)
{
    checkNoOuterBlanks(report, row, text);
    if (!std::ranges::all_of(text, isEntryCharacter)) {
        report.rowFault(row, "may hold only ASCII letters, digits, blanks, hyphens, apostrophes "
                             "and parentheses");
    }
    if (needsCapital) {
        checkCapital(report, row, text);
    }
    checkLength(report, row, text, maxLength);
}

void checkEntryList(Reporter &report, int maxLength, bool needsCapital)
{
    const auto &rows = report.file().rows;
    for (int row = 0; row < rowCountOf(report.file()); ++row) {
        const std::string &text = rows[static_cast<std::size_t>(row)];
        if (!text.empty()) { // the reader has reported an empty line
            checkEntryText(report, row, text, maxLength, needsCapital);
        }
    }
    checkDistinct(report, [](int) { return false; });
}

// The main run is one list cut in two; a text that stood in both halves would be ambiguous.
void checkNoSharedEntries(const DataFile &list1, Reporter &list2Report)
{
    std::unordered_map<std::string, int> list1Rows;
    for (int row = rowCountOf(list1) - 1; row >= 0; --row) {
        list1Rows[foldCase(list1.rows[static_cast<std::size_t>(row)])] = row;
    }
    const auto &rows = list2Report.file().rows;
    for (int row = 0; row < rowCountOf(list2Report.file()); ++row) {
        const auto found = list1Rows.find(foldCase(rows[static_cast<std::size_t>(row)]));
        if (found != list1Rows.end()) {
            list2Report.rowFault(row, "is also List 1 row " + std::to_string(found->second) +
                                          " (letter case ignored); the two lists share no text");
        }
    }
}

[[nodiscard]] constexpr bool isWordBoundary(char c)
{
    return c == ' ' || c == '(' || c == ')';
}

// Whether @p word stands in @p text as a whole word, letter case ignored.
[[nodiscard]] bool containsWord(std::string_view text, std::string_view word)
{
    if (word.empty() || word.size() > text.size()) {
        return false;
    }
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
        const bool startsWord = at == 0 || isWordBoundary(text[at - 1]);
        const std::size_t end = at + word.size();
        const bool endsWord = end == text.size() || isWordBoundary(text[end]);
        if (startsWord && endsWord && equalsIgnoringCase(text.substr(at, word.size()), word)) {
            return true;
        }
    }
    return false;
}

// "Name (Form)": the entry's name, one blank, the form in parentheses.
[[nodiscard]] bool hasFormAfter(std::string_view text, std::string_view name)
{
    const std::size_t openAt = name.size() + 1;
    return text.size() > openAt + 2 && equalsIgnoringCase(text.substr(0, name.size()), name) &&
           text.substr(name.size(), 2) == " (" && text.back() == ')' &&
           text.find_first_of("()", openAt + 1) == text.size() - 1;
}

// "Form Words Name": one or more words, one blank, the entry's name at the end.
[[nodiscard]] bool hasFormBefore(std::string_view text, std::string_view name)
{
    if (text.size() < name.size() + 2) {
        return false;
    }
    const std::size_t nameAt = text.size() - name.size();
    return text[nameAt - 1] == ' ' && equalsIgnoringCase(text.substr(nameAt), name) &&
           text.find_first_of("()") == std::string_view::npos;
}

[[nodiscard]] bool isSingleWord(std::string_view text)
{
    return !text.empty() && std::ranges::none_of(text, isWordBoundary);
}

void checkFormGroup(const FormGroup &group, Reporter &formReport, Reporter &entryReport)
{
    const auto &entryRows = entryReport.file().rows;
    if (group.entryRow >= rowCountOf(entryReport.file())) {
        return; // the entry list's row count is reported already
    }
    const std::string &name = entryRows[static_cast<std::size_t>(group.entryRow)];
    if (!isSingleWord(name)) {
        entryReport.rowFault(group.entryRow, "names the alternate forms of " +
                                                 rowsText(group.firstRow, group.rowCount) +
                                                 " and must be a single word");
        return;
    }
    const std::string entry = std::string(listName(group.entryList)) + " row " +
                              std::to_string(group.entryRow) + " " + inQuotes(name);
    const auto &formRows = formReport.file().rows;
    const int lastRow = std::min(group.firstRow + group.rowCount, rowCountOf(formReport.file()));
    for (int row = group.firstRow; row < lastRow; ++row) {
        const std::string &text = formRows[static_cast<std::size_t>(row)];
        if (!containsWord(text, name)) {
            formReport.rowFault(row, "must contain the name of " + entry + " as a word");
        } else if (group.placement == FormPlacement::InParenthesesAfter &&
                   !hasFormAfter(text, name)) {
            formReport.rowFault(row, "must put the form in parentheses after the name, as in " +
                                         inQuotes(name + " (Form)"));
        } else if (group.placement == FormPlacement::WordsBefore && !hasFormBefore(text, name)) {
            formReport.rowFault(row, "must put the form's words before the name, as in " +
                                         inQuotes("Form " + name));
        }
    }
}

void checkAlternateForms(const CatalogueData &data, Diagnostics &out)
{
    Reporter formReport(data.file(CatalogueFileId::AlternateForms), out);
    checkEntryList(formReport, kFormNameLength, false);
    for (const FormGroup &group : kFormGroups) {
        Reporter entryReport(data.file(catalogueOf(group.entryList)), out);
        checkFormGroup(group, formReport, entryReport);
    }
}

void checkTypes(Reporter &report)
{
    const auto &rows = report.file().rows;
    for (int row = 0; row < rowCountOf(report.file()); ++row) {
        const std::string &text = rows[static_cast<std::size_t>(row)];
        if (text.empty()) {
            continue;
        }
        if (!std::ranges::all_of(text, isLower)) {
            report.rowFault(row, "must be a single word of lower-case ASCII letters");
        }
        checkLength(report, row, text, kTypeNameLength);
        if (std::ranges::find(kNoTypeWords, text) != kNoTypeWords.end()) {
            report.rowFault(row, "must name a real type, not the absence of one");
        }
    }
    checkDistinct(report, [](int) { return false; });
}

[[nodiscard]] ItemRow itemRowKind(int row)
{
    for (const ItemRun &run : kItemRuns) {
        if (row >= run.firstRow && row <= run.lastRow) {
            return run.kind;
        }
    }
    return ItemRow::Name;
}

[[nodiscard]] bool isAccentedItemRow(int row)
{
    return std::ranges::find(kAccentedItemRows, row) != kAccentedItemRows.end();
}

[[nodiscard]] constexpr bool isItemCharacter(char c)
{
    return isLetter(c) || isDigit(c) || c == ' ' || c == '.' || c == '\'' || c == '?' || c == '*' ||
           c == '-';
}

// Whether every character is one an item text may hold; é is judged by its own rule.
[[nodiscard]] bool hasOnlyItemCharacters(std::string_view text)
{
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text.substr(at, kAccentedE.size()) == kAccentedE) {
            at += kAccentedE.size() - 1;
        } else if (!isItemCharacter(text[at])) {
            return false;
        }
    }
    return true;
}

void checkItemEnding(Reporter &report, int row, std::string_view text, ItemRow kind)
{
    const bool starred = kind == ItemRow::StarredName;
    const std::size_t asterisks = static_cast<std::size_t>(std::ranges::count(text, '*'));
    const bool endsInOneBlank =
        text.size() >= 2 && text.back() == ' ' && text[text.size() - 2] != ' ';
    if (starred) {
        const bool wellStarred = endsInOneBlank && asterisks == 1 && text.size() >= 3 &&
                                 text[text.size() - 2] == '*' && text[text.size() - 3] != ' ';
        if (!wellStarred) {
            report.rowFault(row, "must end in \"* \" (asterisk and one blank) right after the "
                                 "item name, with no other asterisk");
        }
        return;
    }
    if (!endsInOneBlank) {
        report.rowFault(row, "must end in exactly one blank");
    }
    if (asterisks != 0) {
        report.rowFault(row, "must not contain an asterisk; only rows 112, 116 to 119, 134 and "
                             "465 to 626 carry one");
    }
}

void checkItemRow(Reporter &report, int row, std::string_view text)
{
    const ItemRow kind = itemRowKind(row);
    if (kind == ItemRow::NoItem && text != kNoItem) {
        report.rowFault(row, "must be " + inQuotes(kNoItem) + " (no item)");
        return;
    }
    if (kind == ItemRow::Unused) {
        if (text != kUnusedItem) {
            report.rowFault(row, "must be " + inQuotes(kUnusedItem) +
                                     ", the mark of an unused position");
        }
        return;
    }
    if (text == kUnusedItem) {
        report.rowFault(row, "must not be " + inQuotes(kUnusedItem) +
                                 ": that mark belongs to rows 113 to 115 and 120 to 133 only");
        return;
    }
    checkItemEnding(report, row, text, kind);
    if (!hasOnlyItemCharacters(text)) {
        report.rowFault(row, "may hold only ASCII letters, digits, blanks, full stops, "
                             "apostrophes, question marks, asterisks, the one hyphen and \u00e9");
    }
    const bool accented = text.find(kAccentedE) != std::string_view::npos;
    if (isAccentedItemRow(row) && !accented) {
        report.rowFault(row, "must contain the letter \u00e9");
    } else if (!isAccentedItemRow(row) && accented) {
        report.rowFault(row, "must not contain the letter \u00e9; only rows 4, 63, 431 and 577 do");
    }
    checkCapital(report, row, text);
    checkLength(report, row, text, kItemNameLength, ", the final blank included");
}

void checkSingleHyphen(Reporter &report)
{
    const auto &rows = report.file().rows;
    int firstHyphenRow = -1;
    for (int row = 0; row < rowCountOf(report.file()); ++row) {
        const auto hyphens = std::ranges::count(rows[static_cast<std::size_t>(row)], '-');
        if (hyphens == 0) {
            continue;
        }
        if (firstHyphenRow >= 0 || hyphens > 1) {
            report.rowFault(row,
                            "holds another hyphen; the list holds exactly one" +
                                (firstHyphenRow >= 0 ? ", in row " + std::to_string(firstHyphenRow)
                                                     : std::string()));
        }
        if (firstHyphenRow < 0) {
            firstHyphenRow = row;
        }
    }
    if (firstHyphenRow < 0) {
        report.fileFault("the list must hold exactly one hyphen and holds none");
    }
}

void checkRepeatedItem(Reporter &report)
{
    const auto &rows = report.file().rows;
    if (rowCountOf(report.file()) <= kRepeatingItemRow) {
        return;
    }
    const auto &original = rows[static_cast<std::size_t>(kRepeatedItemRow)];
    if (rows[static_cast<std::size_t>(kRepeatingItemRow)] != original) {
        report.rowFault(kRepeatingItemRow, "must repeat row " + std::to_string(kRepeatedItemRow) +
                                               " exactly, " + inQuotes(original));
    }
}

void checkHeldItems(Reporter &report)
{
    const auto &rows = report.file().rows;
    for (int row = 0; row < rowCountOf(report.file()); ++row) {
        const std::string &text = rows[static_cast<std::size_t>(row)];
        if (!text.empty()) {
            checkItemRow(report, row, text);
        }
    }
    checkSingleHyphen(report);
    checkRepeatedItem(report);
    checkDistinct(
        report,
        [&rows](int row) {
            return row == kRepeatingItemRow || rows[static_cast<std::size_t>(row)] == kUnusedItem;
        },
        "; only row 626 repeats an item name, that of row 621");
}

void checkAbilities(Reporter &report)
{
    const auto &rows = report.file().rows;
    for (int row = 0; row < rowCountOf(report.file()); ++row) {
        const std::string &text = rows[static_cast<std::size_t>(row)];
        if (row == 0) {
            if (text != kNoAbility) {
                report.rowFault(row, "must be " + inQuotes(kNoAbility) + " (no ability)");
            }
            continue;
        }
        if (text.empty()) {
            continue;
        }
        if (!std::ranges::all_of(text, [](char c) { return isLetter(c) || c == ' '; })) {
            report.rowFault(row, "may hold only ASCII letters and blanks");
        }
        checkNoOuterBlanks(report, row, text);
        checkCapital(report, row, text);
        checkLength(report, row, text, kAbilityNameLength);
    }
    checkDistinct(report, [](int) { return false; });
}

} // namespace

Diagnostics checkShippedTexts(const CatalogueData &data)
{
    Diagnostics out;
    for (const CatalogueFile &catalogue : kCatalogueFiles) {
        Reporter report(data.file(catalogue.id), out);
        checkRowCount(report, catalogue);
        checkLineEnds(report);
    }
    Reporter list1(data.file(CatalogueFileId::List1), out);
    checkEntryList(list1, kEntryNameLength, true);
    Reporter list2(data.file(CatalogueFileId::List2), out);
    checkEntryList(list2, kEntryNameLength, true);
    checkNoSharedEntries(data.file(CatalogueFileId::List1), list2);
    checkAlternateForms(data, out);
    Reporter types(data.file(CatalogueFileId::Types), out);
    checkTypes(types);
    Reporter heldItems(data.file(CatalogueFileId::HeldItems), out);
    checkHeldItems(heldItems);
    Reporter abilities(data.file(CatalogueFileId::Abilities), out);
    checkAbilities(abilities);
    return out;
}

} // namespace stats::tools
