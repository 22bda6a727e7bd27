// The content rules of the compiled-in catalogues, checked over every row.

#include "catalogues/catalogues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <ostream>
#include <string>

namespace {

using stats::catalogues::Catalogue;
using stats::catalogues::entryCatalogue;
using stats::catalogues::valueCatalogue;
using stats::catalogues::ValueList;
using stats::image::Range;

constexpr std::string_view kAccentedE = "\u00e9";

bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool isLetter(char c)
{
    return isUpper(c) || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int characterCount(std::string_view text)
{
    return static_cast<int>(std::ranges::count_if(
        text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U; }));
}

std::string folded(std::string_view text)
{
    std::string result(text);
    std::ranges::transform(result, result.begin(), [](char c) {
        return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return result;
}

bool hasNoOuterBlanks(std::string_view text)
{
    return !text.empty() && text.front() != ' ' && text.back() != ' ';
}

bool isEntryText(std::string_view text)
{
    return hasNoOuterBlanks(text) && std::ranges::all_of(text, [](char c) {
               return isLetter(c) || isDigit(c) || c == ' ' || c == '-' || c == '\'' || c == '(' ||
                      c == ')';
           });
}

enum class ItemRow { NoItem, Name, StarredName, Unused };

// The held-item list by position, as the game numbers its items.
ItemRow itemRowKind(int row)
{
    if (row == 0) {
        return ItemRow::NoItem;
    }
    if ((row >= 113 && row <= 115) || (row >= 120 && row <= 133)) {
        return ItemRow::Unused;
    }
    if (row == 112 || (row >= 116 && row <= 119) || row == 134 || row >= 465) {
        return ItemRow::StarredName;
    }
    return ItemRow::Name;
}

bool isAccentedItemRow(int row)
{
    return row == 4 || row == 63 || row == 431 || row == 577;
}

bool followsItemTemplate(int row, std::string_view text)
{
    const auto asterisks = std::ranges::count(text, '*');
    switch (itemRowKind(row)) {
    case ItemRow::NoItem:
        return text == "None ";
    case ItemRow::Unused:
        return text == "??? ";
    case ItemRow::StarredName:
        return text.size() >= 3 && text.ends_with("* ") && text[text.size() - 3] != ' ' &&
               asterisks == 1;
    case ItemRow::Name:
        return text != "??? " && asterisks == 0;
    }
    return false;
}

bool hasItemCharacters(std::string_view text)
{
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (text.substr(at).starts_with(kAccentedE)) {
            ++at;
        } else if (!(isLetter(c) || isDigit(c) || c == ' ' || c == '.' || c == '\'' || c == '?' ||
                     c == '*' || c == '-')) {
            return false;
        }
    }
    return true;
}

struct RowRule
{
    const char *name;
    const Catalogue &(*catalogue)();
    int firstRow;
    int lastRow; ///< -1: to the last row
    bool (*holds)(int row, std::string_view text);
};

void PrintTo(const RowRule &value, std::ostream *out)
{
    *out << value.name;
}

const Catalogue &list1()
{
    return entryCatalogue(Range::List1);
}
const Catalogue &list2()
{
    return entryCatalogue(Range::List2);
}
const Catalogue &alternateForms()
{
    return entryCatalogue(Range::AlternateForms);
}
const Catalogue &types()
{
    return valueCatalogue(ValueList::Types);
}
const Catalogue &heldItems()
{
    return valueCatalogue(ValueList::HeldItems);
}
const Catalogue &abilities()
{
    return valueCatalogue(ValueList::Abilities);
}

const std::array<RowRule, 20> kRowRules{{
    {"List1_EntryCharacters", list1, 0, -1, [](int, std::string_view t) { return isEntryText(t); }},
    {"List1_BeginsWithCapital", list1, 0, -1,
     [](int, std::string_view t) { return isUpper(t.front()); }},
    {"List1_AtMost10Characters", list1, 0, -1,
     [](int, std::string_view t) { return characterCount(t) <= 10; }},
    {"List2_EntryCharacters", list2, 0, -1, [](int, std::string_view t) { return isEntryText(t); }},
    {"List2_BeginsWithCapital", list2, 0, -1,
     [](int, std::string_view t) { return isUpper(t.front()); }},
    {"List2_AtMost10Characters", list2, 0, -1,
     [](int, std::string_view t) { return characterCount(t) <= 10; }},
    {"Forms_EntryCharacters", alternateForms, 0, -1,
     [](int, std::string_view t) { return isEntryText(t); }},
    {"Forms_AtMost26Characters", alternateForms, 0, -1,
     [](int, std::string_view t) { return characterCount(t) <= 26; }},
    {"Types_LowerCaseWordOfAtMost8", types, 0, -1,
     [](int, std::string_view t) {
         return !t.empty() && t.size() <= 8 &&
                std::ranges::all_of(t, [](char c) { return c >= 'a' && c <= 'z'; });
     }},
    {"Types_NoneIsNoType", types, 0, -1, [](int, std::string_view t) { return t != "none"; }},
    {"Items_EndInExactlyOneBlank", heldItems, 0, -1,
     [](int, std::string_view t) {
         return t.size() >= 2 && t.ends_with(' ') && !t.ends_with("  ");
     }},
    {"Items_FollowTheTemplate", heldItems, 0, -1, followsItemTemplate},
    {"Items_AccentOnlyInItsRows", heldItems, 0, -1,
     [](int row, std::string_view t) { return t.contains(kAccentedE) == isAccentedItemRow(row); }},
    {"Items_ItemCharacters", heldItems, 0, -1,
     [](int, std::string_view t) { return hasItemCharacters(t); }},
    {"Items_NamesBeginWithCapital", heldItems, 0, -1,
     [](int row, std::string_view t) {
         return itemRowKind(row) == ItemRow::Unused || isUpper(t.front());
     }},
    {"Items_AtMost22Characters", heldItems, 0, -1,
     [](int, std::string_view t) { return characterCount(t) <= 22; }},
    {"Abilities_FirstRowIsNoAbility", abilities, 0, 0,
     [](int, std::string_view t) { return t == "-No Ability-"; }},
    {"Abilities_LettersAndBlanks", abilities, 1, -1,
     [](int, std::string_view t) {
         return hasNoOuterBlanks(t) &&
                std::ranges::all_of(t, [](char c) { return isLetter(c) || c == ' '; });
     }},
    {"Abilities_BeginWithCapital", abilities, 1, -1,
     [](int, std::string_view t) { return isUpper(t.front()); }},
    {"Abilities_AtMost15Characters", abilities, 1, -1,
     [](int, std::string_view t) { return characterCount(t) <= 15; }},
}};

class EveryRow : public testing::TestWithParam<RowRule>
{
};

TEST_P(EveryRow, KeepsTheRule)
{
    const RowRule &rule = GetParam();
    const Catalogue &catalogue = rule.catalogue();
    const int lastRow = rule.lastRow < 0 ? catalogue.rowCount() - 1 : rule.lastRow;
    ASSERT_LT(lastRow, catalogue.rowCount());
    for (int row = rule.firstRow; row <= lastRow; ++row) {
        const std::string_view text = catalogue.text(row);
        EXPECT_FALSE(text.empty()) << "row " << row;
        if (!text.empty()) {
            EXPECT_TRUE(rule.holds(row, text)) << "row " << row << " \"" << text << "\"";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogues, EveryRow, testing::ValuesIn(kRowRules),
                         [](const auto &test) { return std::string(test.param.name); });

struct DistinctCase
{
    const char *name;
    const Catalogue &(*catalogue)();
};

void PrintTo(const DistinctCase &value, std::ostream *out)
{
    *out << value.name;
}

class DistinctRows : public testing::TestWithParam<DistinctCase>
{
};

TEST_P(DistinctRows, NoTwoRowsAlikeIgnoringCase)
{
    std::map<std::string, int> firstRow;
    const Catalogue &catalogue = GetParam().catalogue();
    for (int row = 0; row < catalogue.rowCount(); ++row) {
        const auto [found, inserted] = firstRow.emplace(folded(catalogue.text(row)), row);
        EXPECT_TRUE(inserted) << "row " << row << " repeats row " << found->second;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogues, DistinctRows,
                         testing::Values(DistinctCase{"List1", list1}, DistinctCase{"List2", list2},
                                         DistinctCase{"AlternateForms", alternateForms},
                                         DistinctCase{"Types", types},
                                         DistinctCase{"Abilities", abilities}),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(EntryLists, List2SharesNoTextWithList1)
{
    for (int row = 0; row < list2().rowCount(); ++row) {
        const auto found = list1().findExact(list2().text(row));
        EXPECT_FALSE(found.has_value()) << "List 2 row " << row << " is List 1 row " << *found;
    }
}

enum class Placement { InParenthesesAfter, WordsBefore };

struct FormGroup
{
    int firstRow;
    int rowCount;
    Range entryList;
    int entryRow;
    Placement placement;
};

void PrintTo(const FormGroup &value, std::ostream *out)
{
    *out << "rows " << value.firstRow << " to " << value.firstRow + value.rowCount - 1;
}

constexpr std::array<FormGroup, 9> kFormGroups{{
    {0, 3, Range::List1, 385, Placement::InParenthesesAfter},
    {3, 2, Range::List1, 412, Placement::InParenthesesAfter},
    {5, 1, Range::List1, 491, Placement::InParenthesesAfter},
    {6, 1, Range::List1, 486, Placement::InParenthesesAfter},
    {7, 5, Range::List1, 478, Placement::WordsBefore},
    {12, 3, Range::List1, 350, Placement::InParenthesesAfter},
    {15, 1, Range::List2, 2, Placement::WordsBefore},
    {16, 1, Range::List2, 7, Placement::InParenthesesAfter},
    {17, 1, Range::List2, 100, Placement::InParenthesesAfter},
}};

class AlternateFormGroup : public testing::TestWithParam<FormGroup>
{
};

TEST_P(AlternateFormGroup, NamesItsEntryAsOneWordInItsPlace)
{
    const FormGroup &group = GetParam();
    const std::string name(entryCatalogue(group.entryList).text(group.entryRow));
    ASSERT_FALSE(name.empty());
    EXPECT_FALSE(name.find_first_of(" ()") != std::string::npos) << "\"" << name << "\"";
    for (int row = group.firstRow; row < group.firstRow + group.rowCount; ++row) {
        const std::string text = folded(alternateForms().text(row));
        const std::string word = folded(name);
        if (group.placement == Placement::InParenthesesAfter) {
            EXPECT_TRUE(text.starts_with(word + " (") && text.ends_with(")") &&
                        text.size() > word.size() + 3)
                << "row " << row << " \"" << text << "\"";
        } else {
            EXPECT_TRUE(text.ends_with(" " + word) && text.size() > word.size() + 1 &&
                        text.find_first_of("()") == std::string::npos)
                << "row " << row << " \"" << text << "\"";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, AlternateFormGroup, testing::ValuesIn(kFormGroups));

TEST(HeldItems, HoldExactlyOneHyphen)
{
    int hyphens = 0;
    for (const std::string_view text : heldItems().rows()) {
        hyphens += static_cast<int>(std::ranges::count(text, '-'));
    }
    EXPECT_EQ(hyphens, 1);
}

TEST(HeldItems, OnlyRow626RepeatsAName)
{
    EXPECT_EQ(heldItems().text(626), heldItems().text(621));
    std::map<std::string, int> firstRow;
    for (int row = 0; row < heldItems().rowCount(); ++row) {
        if (row == 626 || itemRowKind(row) == ItemRow::Unused) {
            continue;
        }
        const auto [found, inserted] = firstRow.emplace(folded(heldItems().text(row)), row);
        EXPECT_TRUE(inserted) << "row " << row << " repeats row " << found->second;
    }
}

} // namespace
