#include "catalogues/catalogues.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using stats::catalogues::Catalogue;
using stats::catalogues::CatalogueSet;
using stats::catalogues::choiceByte;
using stats::catalogues::recordOfRow;
using stats::catalogues::ValueList;
using stats::image::Range;

const Catalogue &entries(Range range)
{
    return stats::catalogues::builtInCatalogues().entries(range);
}

struct RecordCase
{
    Range range;
    int row;
    int record;
};

void PrintTo(const RecordCase &value, std::ostream *out)
{
    *out << "row " << value.row << " of range " << static_cast<int>(value.range);
}

class RecordOfRow : public testing::TestWithParam<RecordCase>
{
};

TEST_P(RecordOfRow, IsFirstRecordPlusRow)
{
    EXPECT_EQ(recordOfRow(GetParam().range, GetParam().row), GetParam().record);
}

// The first and last row of each list: together the lists cover records 0 to 666 with no gap.
INSTANTIATE_TEST_SUITE_P(Edges, RecordOfRow,
                         testing::Values(RecordCase{Range::List1, 0, 0},
                                         RecordCase{Range::List1, 546, 546},
                                         RecordCase{Range::List2, 0, 547},
                                         RecordCase{Range::List2, 101, 648},
                                         RecordCase{Range::AlternateForms, 0, 649},
                                         RecordCase{Range::AlternateForms, 17, 666}));

Catalogue listOf(std::vector<std::string> rows)
{
    return Catalogue(std::move(rows));
}

TEST(CatalogueSet, DreamWorldIsTheAbilityListWithoutItsLastRowForAnySet)
{
    const CatalogueSet set(listOf({"A"}), listOf({"B"}), listOf({"C"}), listOf({"t"}),
                           listOf({"None "}), listOf({"-No Ability-", "Glow", "Dim"}));
    const Catalogue &dreamWorld = set.values(ValueList::DreamWorldAbilities);
    ASSERT_EQ(dreamWorld.rowCount(), 2);
    EXPECT_EQ(dreamWorld.text(1), "Glow");
    EXPECT_EQ(set.values(ValueList::Abilities).rowCount(), 3);
}

TEST(CatalogueText, IsEmptyOutsideTheRows)
{
    const Catalogue types = listOf({"plain", "brawn"});
    EXPECT_EQ(types.text(-1), "");
    EXPECT_EQ(types.text(2), "");
    EXPECT_EQ(types.text(1), "brawn");
}

// A value without a row is taken only when the record holds it already.
TEST(ChoiceByte, IsARowOneByteCanHoldOrTheHeldByte)
{
    std::vector<std::string> many(300, "Item ");
    const Catalogue items = listOf(many);
    const Catalogue types = listOf({"plain", "brawn", "gale"});
    struct Case
    {
        const Catalogue *list;
        int value;
        std::optional<std::uint8_t> held;
        std::optional<std::uint8_t> byte;
    };
    for (const Case &c : std::initializer_list<Case>{
             {&types, 2, std::nullopt, 2},
             {&types, 3, std::nullopt, std::nullopt},
             {&types, 3, 3, 3},
             {&types, 3, 4, std::nullopt},
             {&types, -1, std::nullopt, std::nullopt},
             {&items, 255, std::nullopt, 255},
             {&items, 256, std::nullopt, std::nullopt},
         }) {
        EXPECT_EQ(choiceByte(*c.list, c.value, c.held), c.byte) << "value " << c.value;
    }
}

std::string upperCase(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

std::string lowerCase(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

// Each query is made from a row of the real data, so the cases hold whatever the texts are.
struct LookupCase
{
    const char *name;
    Range searched;
    Range source;
    int sourceRow;
    std::string (*query)(std::string_view rowText);
    bool found;
};

void PrintTo(const LookupCase &value, std::ostream *out)
{
    *out << value.name;
}

const std::array<LookupCase, 8> kLookupCases{{
    {"SameText", Range::List1, Range::List1, 0, [](std::string_view t) { return std::string(t); },
     true},
    {"AllCapitals", Range::List1, Range::List1, 273, upperCase, true},
    {"AllLowerCase", Range::List2, Range::List2, 101, lowerCase, true},
    {"TrailingBlank", Range::List1, Range::List1, 12,
     [](std::string_view t) { return std::string(t) + " "; }, false},
    {"LeadingBlank", Range::List1, Range::List1, 12,
     [](std::string_view t) { return " " + std::string(t); }, false},
    {"Prefix", Range::List1, Range::List1, 12,
     [](std::string_view t) { return std::string(t.substr(0, t.size() - 1)); }, false},
    {"TextOfTheOtherList", Range::List1, Range::List2, 0,
     [](std::string_view t) { return std::string(t); }, false},
    {"AlternateFormByItsText", Range::AlternateForms, Range::AlternateForms, 17, upperCase, true},
}};

class FindExact : public testing::TestWithParam<LookupCase>
{
};

TEST_P(FindExact, MatchesWholeTextsIgnoringLetterCase)
{
    const LookupCase &lookup = GetParam();
    const std::string query = lookup.query(entries(lookup.source).text(lookup.sourceRow));
    const auto found = entries(lookup.searched).findExact(query);
    if (lookup.found) {
        EXPECT_EQ(found, lookup.sourceRow) << query;
    } else {
        EXPECT_FALSE(found.has_value()) << query << " found row " << found.value_or(-1);
    }
}

INSTANTIATE_TEST_SUITE_P(EntryLists, FindExact, testing::ValuesIn(kLookupCases),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(FindExact, EmptyTextFindsNothing)
{
    EXPECT_FALSE(entries(Range::List1).findExact("").has_value());
}

TEST(FindExact, FindsTheLowestRowFromTheStart)
{
    const Catalogue catalogue = listOf({"Alpha", "beta", "ALPHA", "Caf\u00e9"});
    EXPECT_EQ(catalogue.findExact("aLPHA"), 0);
    EXPECT_EQ(catalogue.findExact("aLPHA", 1), 2);
    EXPECT_EQ(catalogue.findExact("BETA"), 1);
    EXPECT_EQ(catalogue.findExact("CAF\u00c9"), 3);
    EXPECT_FALSE(catalogue.findExact("Alph").has_value());
}

struct NameCase
{
    const char *name;
    std::string_view a;
    std::string_view b;
    bool same;
};

// The one rule by which the window, the session and the import match names.
const std::array<NameCase, 9> kNameCases{{
    {"CapitalsBeyondAscii", "CLOISONN\u00c9 JAR", "cloisonn\u00e9 jar", true},
    {"DecomposedAccent", "Cloisonne\u0301 Jar", "cloisonn\u00e9 jar", true},
    {"DecomposedCapitalAccent", "CLOISONNE\u0301 JAR", "Cloisonn\u00e9 Jar", true},
    {"FullCaseFolding", "Stra\u00dfe", "STRASSE", true},
    {"AccentIsNoCase", "Cloisonne Jar", "Cloisonn\u00e9 Jar", false},
    {"PrefixIsNoName", "Cloisonn\u00e9", "Cloisonn\u00e9 Jar", false},
    {"BlanksCount", "Cloisonn\u00e9 Jar ", "Cloisonn\u00e9 Jar", false},
    {"NotUtf8FoldsItsAsciiLetters", "CAF\xe9", "caf\xe9", true},
    {"NotUtf8IsNotTheUtf8Name", "caf\xe9", "caf\u00e9", false},
}};

class SameName : public testing::TestWithParam<NameCase>
{
};

TEST_P(SameName, FoldsCaseAndNormalises)
{
    const NameCase &names = GetParam();
    EXPECT_EQ(stats::catalogues::sameName(names.a, names.b), names.same);
    EXPECT_EQ(stats::catalogues::sameName(names.b, names.a), names.same);
}

INSTANTIATE_TEST_SUITE_P(Names, SameName, testing::ValuesIn(kNameCases),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(RowsNamed, AHeldItemTypedInCapitalsWithADecomposedAccentAndNoBlank)
{
    const Catalogue items = listOf({"None ", "Cloisonn\u00e9 Jar ", "Cloisonne Jar "});
    EXPECT_EQ(items.rowsNamed("CLOISONNE\u0301 JAR"), std::vector<int>{1});
    EXPECT_EQ(items.rowsNamed("cloisonn\u00e9 jar "), std::vector<int>{1});
}

} // namespace
