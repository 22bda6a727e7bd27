// The one conversion between UTF-8 and UTF-16: exact both ways for every kind of character,
// and a refusal, never a substitute, for anything that is no valid text.

#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

using stats::platform::toUtf16;
using stats::platform::toUtf8;
using stats::platform::Utf16;

TEST(Text, EveryLengthOfCharacterConvertsBothWaysUnchanged)
{
    const struct
    {
        const char *utf8;
        Utf16 utf16;
    } cases[] = {
        {"", L""},
        {"image.nds", L"image.nds"},
        {"\xC3\xA9t\xC3\xA9", {0xE9, L't', 0xE9}}, // two bytes each
        {"\xE2\x82\xAC", {0x20AC}},                // three bytes
        {"\xEF\xBF\xBF", {0xFFFF}},                // the last of the basic plane
        {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},    // four bytes: a surrogate pair
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},    // the last code point
    };
    for (const auto &c : cases) {
        EXPECT_EQ(toUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(toUtf8(c.utf16), std::string(c.utf8)) << c.utf8;
    }
}

TEST(Text, BytesThatAreNoValidUtf8AreRefused)
{
    for (const std::string_view bad : {
             std::string_view("\x80"),             // a continuation byte alone
             std::string_view("a\xC3"),            // cut short
             std::string_view("\xC0\xAF"),         // overlong
             std::string_view("\xE0\x80\xAF"),     // overlong, three bytes
             std::string_view("\xED\xA0\x80"),     // a surrogate, encoded
             std::string_view("\xF4\x90\x80\x80"), // past the last code point
             std::string_view("\xFF"),             // no lead byte at all
             std::string_view("\xE2\x28\xA1"),     // a lead byte followed by no continuation
         }) {
        EXPECT_FALSE(toUtf16(bad).has_value()) << testing::PrintToString(std::string(bad));
    }
}

TEST(Text, LoneSurrogatesAreRefused)
{
    for (const Utf16 &bad :
         {Utf16{0xD83D}, Utf16{0xDE00, L'a'}, Utf16{L'a', 0xD83D, L'b'}, Utf16{0xDE00, 0xD83D}}) {
        EXPECT_FALSE(toUtf8(bad).has_value());
    }
}

} // namespace
