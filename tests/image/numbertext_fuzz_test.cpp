// The number text rule against a reference written differently: the grammar as a small state
// machine, the rounding as exact arithmetic on the digit strings (twice the fraction compared
// with the power of ten it is a fraction of). Random, adversarial and exhaustive short texts
// are fed to both; they must agree on every one.
//
// STATS_FUZZ_COUNT (random texts per generator) and STATS_FUZZ_SEED make a longer or another
// run, e.g. STATS_FUZZ_COUNT=2000000 STATS_FUZZ_SEED=7 build/bin/numbertext_fuzz_test.

#include "image/numbertext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace {

using stats::image::parseNumberText;

// --- The reference -----------------------------------------------------------------------

bool isRuleBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The digits of a text that follows the rule, or nothing.
struct Digits
{
    std::string whole;
    std::string fraction;
};

std::optional<Digits> splitByGrammar(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isRuleBlank(text[first])) {
        ++first;
    }
    while (last > first && isRuleBlank(text[last - 1])) {
        --last;
    }
    enum class State { Start, Whole, Point, Fraction } state = State::Start;
    Digits digits;
    for (std::size_t i = first; i < last; ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        switch (state) {
        case State::Start:
        case State::Whole:
            if (digit) {
                digits.whole += c;
                state = State::Whole;
            } else if (c == '.' && state == State::Whole) {
                state = State::Point;
            } else {
                return std::nullopt;
            }
            break;
        case State::Point:
        case State::Fraction:
            if (!digit) {
                return std::nullopt;
            }
            digits.fraction += c;
            state = State::Fraction;
            break;
        }
    }
    if (state != State::Whole && state != State::Fraction) {
        return std::nullopt;
    }
    return digits;
}

// Twice a decimal digit string, as a digit string (one digit longer when it carries).
std::string twice(const std::string &digits)
{
    std::string result(digits.size(), '0');
    int carry = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
        const int value = (digits[i] - '0') * 2 + carry;
        result[i] = static_cast<char>('0' + value % 10);
        carry = value / 10;
    }
    return carry != 0 ? "1" + result : result;
}

std::string plusOne(std::string digits)
{
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

// -1, 0 or 1 as the fraction 0.F is below, at or above one half: 2F against 10^k.
int compareWithHalf(const std::string &fraction)
{
    const std::string doubled = twice(fraction);
    if (doubled.size() == fraction.size()) {
        return -1;
    }
    const std::string powerOfTen = "1" + std::string(fraction.size(), '0');
    return doubled == powerOfTen ? 0 : 1;
}

std::optional<int> referenceByte(std::string_view text)
{
    const auto digits = splitByGrammar(text);
    if (!digits) {
        return std::nullopt;
    }
    std::string whole = digits->whole;
    const bool odd = (whole.back() - '0') % 2 == 1;
    const int half = digits->fraction.empty() ? -1 : compareWithHalf(digits->fraction);
    if (half > 0 || (half == 0 && odd)) {
        whole = plusOne(whole);
    }
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
    if (whole.size() > 3) {
        return std::nullopt;
    }
    const int value = std::stoi(whole);
    return value <= 255 ? std::optional<int>(value) : std::nullopt;
}

// --- Texts -------------------------------------------------------------------------------

// Pieces that a real text or a hostile one is made of: the rule's own characters, the
// notations it refuses, and digits, points and blanks from outside ASCII.
constexpr std::array<std::string_view, 49> kPieces{{
    "0",
    "1",
    "2",
    "4",
    "5",
    "6",
    "9",
    "25",
    "255",
    "256",
    "254",
    "000",
    ".",
    "..",
    " ",
    "\t",
    "  \t",
    "+",
    "-",
    "e",
    "E",
    "e5",
    "x",
    "0x",
    "0b",
    ",",
    "_",
    "'",
    std::string_view("\0", 1),
    "\n",
    "\r",
    "\v",
    "\f",
    "\xc2\xa0",     // no-break space
    "\xe3\x80\x80", // ideographic space
    "\xe2\x80\x87", // figure space
    "\xef\xbb\xbf", // byte order mark
    "\xd9\xa5",     // Arabic-Indic five
    "\xdb\xb5",     // extended Arabic-Indic five
    "\xe0\xa5\xab", // Devanagari five
    "\xef\xbc\x95", // fullwidth five
    "\xef\xbc\x8e", // fullwidth full stop
    "\xd9\xab",     // Arabic decimal separator
    "\xc2\xb2",     // superscript two
    "\xc2\xbd",     // one half
    "\xe2\x88\x92", // minus sign
    "inf",
    "nan",
    "\xff",
}};

class TextSource
{
public:
    explicit TextSource(std::uint64_t seed) : m_random(seed) {}

    // Any sequence of pieces.
    std::string soup()
    {
        std::string text;
        const int count = below(12);
        for (int i = 0; i < count; ++i) {
            text += kPieces[static_cast<std::size_t>(below(static_cast<int>(kPieces.size())))];
        }
        return text;
    }

    // A number the rule accepts or nearly does, around the edges of the byte range and of the
    // exact half, then perhaps spoiled by a piece or a cut.
    std::string nearNumber()
    {
        std::string text = blanks() + std::string(static_cast<std::size_t>(below(4)), '0');
        constexpr std::array<std::string_view, 8> wholes{"0",   "1",   "2",   "127",
                                                         "254", "255", "256", "999"};
        text += below(3) == 0 ? digits(1 + below(4))
                              : std::string(wholes[static_cast<std::size_t>(below(8))]);
        if (below(3) != 0) {
            text += '.';
            constexpr std::array<std::string_view, 6> fractions{"5",  "50",   "49",
                                                                "51", "4999", "5000"};
            text += below(2) == 0 ? digits(1 + below(6))
                                  : std::string(fractions[static_cast<std::size_t>(below(6))]);
            if (below(4) == 0) {
                // Far along the fraction, one digit decides between a tie and more than half.
                text += std::string(static_cast<std::size_t>(below(60)), '0') +
                        (below(2) == 0 ? "1" : "0");
            }
        }
        text += blanks();
        for (int spoil = below(3) == 0 ? 1 + below(2) : 0; spoil > 0; --spoil) {
            const auto at = static_cast<std::size_t>(below(static_cast<int>(text.size()) + 1));
            if (below(2) == 0 && !text.empty()) {
                text.erase(std::min(at, text.size() - 1), 1);
            } else {
                text.insert(
                    at, kPieces[static_cast<std::size_t>(below(static_cast<int>(kPieces.size())))]);
            }
        }
        return text;
    }

    // Long runs: thousands of digits, zeros or points.
    std::string longRun()
    {
        const auto length = static_cast<std::size_t>(50 + below(4000));
        switch (below(5)) {
        case 0:
            return std::string(length, '0') + "254.5" + std::string(length, '0');
        case 1:
            return "2." + std::string(length, '9');
        case 2:
            return digits(static_cast<int>(length));
        case 3:
            return "3." + std::string(length, '.') + "5";
        default:
            return "1." + digits(static_cast<int>(length)) + blanks();
        }
    }

    // Bytes of any value, zeros included.
    std::string bytes()
    {
        std::string text(static_cast<std::size_t>(below(8)), '\0');
        for (char &c : text) {
            c = static_cast<char>(below(256));
        }
        return text;
    }

private:
    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(m_random); }
    std::string digits(int count)
    {
        std::string text(static_cast<std::size_t>(count), '0');
        for (char &c : text) {
            c = static_cast<char>('0' + below(10));
        }
        return text;
    }
    std::string blanks()
    {
        std::string text;
        for (int i = below(3); i > 0; --i) {
            text += below(2) == 0 ? ' ' : '\t';
        }
        return text;
    }

    std::mt19937_64 m_random;
};

std::uint64_t fromEnvironment(const char *name, std::uint64_t fallback)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoull(value, nullptr, 10) : fallback;
}

std::string shown(std::string_view text)
{
    std::string out;
    for (const char c : text.substr(0, 80)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            out += c;
        } else {
            constexpr std::string_view hex = "0123456789abcdef";
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return text.size() > 80 ? out + "... (" + std::to_string(text.size()) + " bytes)" : out;
}

std::string byteOrNothing(int byte)
{
    return byte < 0 ? std::string("nothing") : std::to_string(byte);
}

// Whether the rule and the reference agree on @p text; the disagreement is reported.
::testing::AssertionResult agrees(std::string_view text)
{
    const auto parsed = parseNumberText(text);
    const int got = parsed ? int{*parsed} : -1;
    const int expected = referenceByte(text).value_or(-1);
    if (got == expected) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << '"' << shown(text) << "\" gave " << byteOrNothing(got)
                                         << ", the reference " << byteOrNothing(expected);
}

// --- The properties ----------------------------------------------------------------------

TEST(NumberTextReference, ItselfFollowsTheRuleOnKnownTexts)
{
    EXPECT_EQ(referenceByte("2.5"), 2);
    EXPECT_EQ(referenceByte("3.5"), 4);
    EXPECT_EQ(referenceByte("254.5"), 254);
    EXPECT_EQ(referenceByte("255.5"), std::nullopt);
    EXPECT_EQ(referenceByte("2.50000000000000000000001"), 3);
    EXPECT_EQ(referenceByte(" \t007\t "), 7);
    EXPECT_EQ(referenceByte("9.5"), 10);
    EXPECT_EQ(referenceByte("0.5"), 0);
    EXPECT_EQ(referenceByte("0255.49"), 255);
    EXPECT_EQ(referenceByte(".5"), std::nullopt);
    EXPECT_EQ(referenceByte("5."), std::nullopt);
    EXPECT_EQ(referenceByte("1e2"), std::nullopt);
    EXPECT_EQ(referenceByte("\xc2\xa0"
                            "5"),
              std::nullopt);
}

TEST(NumberTextFuzz, AgreesWithTheReferenceOnEveryTextOfUpToTwoBytes)
{
    for (int a = 0; a < 256; ++a) {
        const std::string one(1, static_cast<char>(a));
        ASSERT_TRUE(agrees(one));
        for (int b = 0; b < 256; ++b) {
            ASSERT_TRUE(agrees(one + static_cast<char>(b)));
        }
    }
}

TEST(NumberTextFuzz, AgreesOnEveryWholeAndShortFractionAroundTheRange)
{
    // One and two fraction digits for every whole from 0 to 300; three digits where the
    // parity or the range's edge decides.
    const auto fractionsOf = [](int whole) {
        constexpr std::array<int, 10> deciding{0, 1, 2, 3, 127, 128, 253, 254, 255, 256};
        return std::ranges::find(deciding, whole) != deciding.end() ? 3u : 2u;
    };
    for (int whole = 0; whole <= 300; ++whole) {
        const std::string digits = std::to_string(whole);
        ASSERT_TRUE(agrees(digits));
        for (unsigned width = 1; width <= fractionsOf(whole); ++width) {
            const int count = width == 1 ? 10 : width == 2 ? 100 : 1000;
            for (int fraction = 0; fraction < count; ++fraction) {
                const std::string tail = std::to_string(fraction);
                ASSERT_TRUE(agrees(digits + "." + std::string(width - tail.size(), '0') + tail));
            }
        }
    }
}

TEST(NumberTextFuzz, AgreesWithTheReferenceOnRandomAndHostileTexts)
{
    const auto seed = fromEnvironment("STATS_FUZZ_SEED", 20240611);
    const auto count = fromEnvironment("STATS_FUZZ_COUNT", 50000);
    SCOPED_TRACE("STATS_FUZZ_SEED=" + std::to_string(seed));
    TextSource source(seed);
    for (std::uint64_t i = 0; i < count; ++i) {
        ASSERT_TRUE(agrees(source.soup()));
        ASSERT_TRUE(agrees(source.nearNumber()));
        ASSERT_TRUE(agrees(source.bytes()));
        if (i % 20 == 0) {
            ASSERT_TRUE(agrees(source.longRun()));
        }
    }
}

// Properties that need no reference: blanks around a text and zeros before its whole part
// or after its fraction never change what it stands for.
TEST(NumberTextFuzz, BlanksAndInsignificantZerosChangeNothing)
{
    const auto seed = fromEnvironment("STATS_FUZZ_SEED", 20240611) + 1;
    const auto count = fromEnvironment("STATS_FUZZ_COUNT", 50000);
    SCOPED_TRACE("STATS_FUZZ_SEED=" + std::to_string(seed - 1));
    TextSource source(seed);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string text = source.nearNumber();
        const auto parsed = parseNumberText(text);
        ASSERT_EQ(parseNumberText(" \t" + text + "\t "), parsed) << shown(text);
        const auto digits = splitByGrammar(text);
        if (!digits) {
            continue;
        }
        const std::string canonical =
            digits->whole + (digits->fraction.empty() ? "" : ".") + digits->fraction;
        ASSERT_EQ(parseNumberText(canonical), parsed) << shown(text);
        ASSERT_EQ(parseNumberText("000" + canonical), parsed) << shown(text);
        const std::string padded =
            digits->fraction.empty() ? canonical + ".000" : canonical + "000";
        ASSERT_EQ(parseNumberText(padded), parsed) << shown(text);
    }
}

} // namespace
