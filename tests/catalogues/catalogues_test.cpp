#include "catalogues/catalogues.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <ostream>
#include <string>

namespace {

using stats::catalogues::Catalogue;
using stats::catalogues::entryCatalogue;
using stats::catalogues::recordOfRow;
using stats::catalogues::valueCatalogue;
using stats::catalogues::ValueList;
using stats::image::Range;

struct RowCountCase
{
    const char *name;
    const Catalogue &(*catalogue)();
    int rowCount;
};

void PrintTo(const RowCountCase &value, std::ostream *out)
{
    *out << value.name;
}

const std::array<RowCountCase, 7> kRowCountCases{{
    {"List1", []() -> const Catalogue & { return entryCatalogue(Range::List1); }, 547},
    {"List2", []() -> const Catalogue & { return entryCatalogue(Range::List2); }, 102},
    {"AlternateForms", []() -> const Catalogue & { return entryCatalogue(Range::AlternateForms); },
     18},
    {"Types", []() -> const Catalogue & { return valueCatalogue(ValueList::Types); }, 17},
    {"HeldItems", []() -> const Catalogue & { return valueCatalogue(ValueList::HeldItems); }, 627},
    {"Abilities", []() -> const Catalogue & { return valueCatalogue(ValueList::Abilities); }, 165},
    {"DreamWorldAbilities",
     []() -> const Catalogue & { return valueCatalogue(ValueList::DreamWorldAbilities); }, 164},
}};

class RowCount : public testing::TestWithParam<RowCountCase>
{
};

TEST_P(RowCount, MatchesTheListItStandsFor)
{
    const Catalogue &catalogue = GetParam().catalogue();
    EXPECT_EQ(catalogue.rowCount(), GetParam().rowCount);
    EXPECT_EQ(catalogue.rows().size(), static_cast<std::size_t>(GetParam().rowCount));
}

INSTANTIATE_TEST_SUITE_P(Catalogues, RowCount, testing::ValuesIn(kRowCountCases),
                         [](const auto &test) { return std::string(test.param.name); });

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

TEST(DreamWorldAbilities, AreTheAbilityListWithoutItsLastRow)
{
    const Catalogue &abilities = valueCatalogue(ValueList::Abilities);
    const Catalogue &dreamWorld = valueCatalogue(ValueList::DreamWorldAbilities);
    ASSERT_EQ(dreamWorld.rowCount(), 164);
    for (int row = 0; row < dreamWorld.rowCount(); ++row) {
        EXPECT_EQ(dreamWorld.text(row), abilities.text(row)) << "row " << row;
    }
    EXPECT_EQ(dreamWorld.text(0), "-No Ability-");
}

TEST(CatalogueText, IsEmptyOutsideTheRows)
{
    const Catalogue &types = valueCatalogue(ValueList::Types);
    EXPECT_EQ(types.text(-1), "");
    EXPECT_EQ(types.text(17), "");
    EXPECT_EQ(types.text(16), types.rows().back());
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
    const std::string query = lookup.query(entryCatalogue(lookup.source).text(lookup.sourceRow));
    const auto found = entryCatalogue(lookup.searched).findExact(query);
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
    EXPECT_FALSE(entryCatalogue(Range::List1).findExact("").has_value());
    EXPECT_FALSE(valueCatalogue(ValueList::HeldItems).findExact("").has_value());
}

TEST(FindExact, RepeatedHeldItemFindsTheLowerRow)
{
    const Catalogue &items = valueCatalogue(ValueList::HeldItems);
    ASSERT_EQ(items.text(621), items.text(626));
    EXPECT_EQ(items.findExact(items.text(626)), 621);
    EXPECT_EQ(items.findExact(lowerCase(items.text(626))), 621);
}

TEST(FindExact, FoldsOnlyAsciiLetters)
{
    constexpr std::array<std::string_view, 4> rows{"Alpha", "beta", "ALPHA", "Caf\u00e9"};
    const Catalogue catalogue{rows};
    EXPECT_EQ(catalogue.findExact("aLPHA"), 0);
    EXPECT_EQ(catalogue.findExact("BETA"), 1);
    EXPECT_EQ(catalogue.findExact("CAF\u00e9"), 3);
    // É is not the upper case of é for this look-up: bytes outside ASCII compare exactly.
    EXPECT_FALSE(catalogue.findExact("CAF\u00c9").has_value());
    EXPECT_FALSE(catalogue.findExact("Alph").has_value());
}

} // namespace
