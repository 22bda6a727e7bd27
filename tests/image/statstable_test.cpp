#include "image/statstable.h"

#include <gtest/gtest.h>
#include <set>

namespace {

using namespace stats::image;

struct PositionCase
{
    const char *name;
    Range range;
    std::int16_t row;
    Field field;
    std::int64_t offset;
};

class FieldPosition : public ::testing::TestWithParam<PositionCase>
{
};

TEST_P(FieldPosition, MatchesTheTableOffsets)
{
    const auto &c = GetParam();
    const auto position = fieldPosition(c.range, c.row, fieldInfo(c.field).offset);
    ASSERT_TRUE(position.has_value());
    EXPECT_EQ(*position, c.offset);
}

INSTANTIATE_TEST_SUITE_P(
    GoldenOffsets, FieldPosition,
    ::testing::Values(
        PositionCase{"WorkedExampleList2Row3CatchRate", Range::List2, 3, Field::cr, 0x6956A44},
        PositionCase{"FirstRecordHp", Range::List1, 0, Field::hp, 0x694E954},
        PositionCase{"List1Row3Hp", Range::List1, 3, Field::hp, 0x694EA08},
        PositionCase{"List1LastRowFitsTheProduct", Range::List1, 546, Field::hp,
                     0x694E954 + 546 * 60},
        PositionCase{"List2FirstRowHp", Range::List2, 0, Field::hp, 0x6956988},
        PositionCase{"List2FirstRowDreamWorld", Range::List2, 0, Field::dw, 0x69569A2},
        PositionCase{"AlternateFirstRowHp", Range::AlternateForms, 0, Field::hp, 0x6958170},
        PositionCase{"LastRecordDreamWorld", Range::AlternateForms, 17, Field::dw, 0x6958586},
        PositionCase{"HeldItemTwoIsByteFourteen", Range::List1, 1, Field::wh2,
                     0x694E954 + 60 + 14}),
    [](const auto &testInfo) { return testInfo.param.name; });

TEST(FieldPosition, RowTimesSixtyOutsideSixteenBitsOverflows)
{
    for (const auto &info : kRanges) {
        for (const std::int16_t row :
             {std::int16_t{547}, std::int16_t{-547}, std::int16_t{32767}, std::int16_t{-32768}}) {
            const auto position = fieldPosition(info.range, row, 0);
            ASSERT_FALSE(position.has_value()) << info.name << " row " << row;
            EXPECT_EQ(position.error(), LayoutError::ProductOverflow);
        }
        EXPECT_TRUE(fieldPosition(info.range, -546, 0).has_value()) << info.name;
    }
}

TEST(FieldPosition, RowsOutsideTheRangeAreNotItsRows)
{
    EXPECT_TRUE(isRowInRange(Range::List1, 546));
    EXPECT_FALSE(isRowInRange(Range::List1, 547));
    EXPECT_TRUE(isRowInRange(Range::List2, 101));
    EXPECT_FALSE(isRowInRange(Range::List2, 102));
    EXPECT_TRUE(isRowInRange(Range::AlternateForms, 17));
    EXPECT_FALSE(isRowInRange(Range::AlternateForms, 18));
    EXPECT_FALSE(isRowInRange(Range::List1, -1));
}

TEST(RecordLayout, FifteenFieldsInRisingOrderLeaveTheUnusedBytesAlone)
{
    const std::set<int> untouched{9, 10, 11, 13, 15, 16, 17, 19, 20, 21, 22, 23};
    int previous = -1;
    for (const auto &field : kFields) {
        EXPECT_GT(field.offset, previous) << field.name;
        EXPECT_LT(field.offset, kRecordSpan) << field.name;
        EXPECT_FALSE(untouched.contains(field.offset)) << field.name;
        previous = field.offset;
    }
}

} // namespace
