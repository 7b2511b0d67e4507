#include "common/TextEncoding.h"

#include <gtest/gtest.h>

namespace pyrolith {
namespace {

TEST(TextEncoding, Utf8ToWindows1252)
{
    EXPECT_EQ(Utf8ToCp1252("G1 X0"), "G1 X0");
    EXPECT_EQ(Utf8ToCp1252("\xC3\xBF\xC3\xBE"), "\xFF\xFE");          // ÿ þ
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC"), "\x80");                  // €
    EXPECT_EQ(Utf8ToCp1252("\xC5\x93"), "\x9C");                      // œ
    EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?");                     // a CJK character
    EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x94\xA5!"), "?!");               // an emoji
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");                           // cut sequence
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "?");                         // overlong "/"
    EXPECT_EQ(Utf8ToCp1252("\xFFx"), "?x");                           // not UTF-8 at all
}

TEST(TextEncoding, Windows1252ToUtf8RoundTripsEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Cp1252ToUtf8("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace pyrolith
