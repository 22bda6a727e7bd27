#include "image/numbertext.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using stats::image::numberText;
using stats::image::parseNumberText;

struct TextCase
{
    std::string text;
    std::optional<int> byte;
};

class NumberTextRule : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(NumberTextRule, ConvertsExactlyAsTheRuleSays)
{
    const auto &c = GetParam();
    const auto parsed = parseNumberText(c.text);
    if (c.byte) {
        ASSERT_TRUE(parsed.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(int{*parsed}, *c.byte) << '"' << c.text << '"';
    } else {
        EXPECT_FALSE(parsed.has_value()) << '"' << c.text << "\" gave " << int{parsed.value_or(0)};
    }
}

INSTANTIATE_TEST_SUITE_P(Whole, NumberTextRule,
                         ::testing::Values(TextCase{"0", 0}, TextCase{"7", 7}, TextCase{"255", 255},
                                           TextCase{"256", std::nullopt}, TextCase{"007", 7},
                                           TextCase{"  45  ", 45}, TextCase{"\t12\t", 12},
                                           TextCase{"0000000000000000000042", 42},
                                           TextCase{std::string(100, '9'), std::nullopt},
                                           TextCase{std::string(100, '0') + "255", 255},
                                           TextCase{"1000", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    HalfToEven, NumberTextRule,
    ::testing::Values(TextCase{"2.5", 2}, TextCase{"3.5", 4}, TextCase{"0.5", 0},
                      TextCase{"1.5", 2}, TextCase{"254.5", 254}, TextCase{"255.5", std::nullopt},
                      TextCase{"254.50000", 254}, TextCase{"2.50000000000000000001", 3},
                      TextCase{"255.4999999999999999999", 255}, TextCase{"2.4", 2},
                      TextCase{"2.6", 3}, TextCase{"254.9", 255}, TextCase{"0.0", 0},
                      TextCase{"9.99", 10}, TextCase{"99.5", 100}, TextCase{"0.49", 0},
                      TextCase{"255.0000", 255}, TextCase{" 3.5 ", 4}));

INSTANTIATE_TEST_SUITE_P(
    NotNumbers, NumberTextRule,
    ::testing::Values(
        TextCase{"", std::nullopt}, TextCase{"   ", std::nullopt}, TextCase{"abc", std::nullopt},
        TextCase{"12a", std::nullopt}, TextCase{"4 5", std::nullopt}, TextCase{"+5", std::nullopt},
        TextCase{"-0", std::nullopt}, TextCase{"-1", std::nullopt}, TextCase{"1e2", std::nullopt},
        TextCase{"0x10", std::nullopt}, TextCase{"1,000", std::nullopt},
        TextCase{"2,5", std::nullopt}, TextCase{".5", std::nullopt}, TextCase{"5.", std::nullopt},
        TextCase{".", std::nullopt}, TextCase{"1.2.3", std::nullopt},
        TextCase{std::string("4\0", 2), std::nullopt}, TextCase{"\xd9\xa5", std::nullopt},
        TextCase{"\xc2\xa0"
                 "5",
                 std::nullopt}));

TEST(NumberText, EveryByteShowsAsPlainDecimalAndReadsBack)
{
    EXPECT_EQ(numberText(0), "0");
    EXPECT_EQ(numberText(7), "7");
    EXPECT_EQ(numberText(255), "255");
    for (int value = 0; value <= 255; ++value) {
        const auto text = numberText(static_cast<std::uint8_t>(value));
        EXPECT_EQ(parseNumberText(text), static_cast<std::uint8_t>(value)) << text;
    }
}

} // namespace
