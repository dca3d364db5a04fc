#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/utf8-1251-utf8.h"

namespace {

std::string to_w1251(const std::string& utf8) {
    std::vector<char> out(utf8.size() + 1, 'X');
    return u8_to_w1251(out.data(), utf8.c_str());
}

std::string to_u8(const std::string& w1251) {
    std::vector<char> out(3 * w1251.size() + 1, 'X');
    return w1251_to_u8(out.data(), w1251.c_str());
}

} // namespace

TEST(Wtable, AnchorRowsAndItsShape) {
    const std::pair<int, int32_t> anchors[] = {{0x80, 0x0402}, {0x82, 0x201A}, {0x88, 0x20AC},
                                               {0x96, 0x2013}, {0x98, 0x007F}, {0x99, 0x2122},
                                               {0xA0, 0x00A0}, {0xA5, 0x0490}, {0xA8, 0x0401},
                                               {0xB8, 0x0451}, {0xB9, 0x2116}, {0xBF, 0x0457}};
    for (const auto& anchor : anchors)
        EXPECT_EQ(wtable[anchor.first - 0x80], anchor.second) << std::hex << anchor.first;
    std::set<int32_t> seen;
    for (int k = 0; k < 64; ++k) {
        EXPECT_TRUE(seen.insert(wtable[k]).second) << "duplicate at " << k;
        if (k != 0x18) {
            EXPECT_GE(wtable[k], 0x00A0);
            EXPECT_LE(wtable[k], 0x2122);
        }
    }
}

TEST(Utf8ToW1251, RussianWordsAndTableCharacters) {
    EXPECT_EQ(to_w1251("въезд"), "\xE2\xFA\xE5\xE7\xE4");
    EXPECT_EQ(to_w1251("выезд"), "\xE2\xFB\xE5\xE7\xE4");
    EXPECT_EQ(to_w1251("\xD0\x81"), "\xA8");     // capital Io
    EXPECT_EQ(to_w1251("\xD1\x91"), "\xB8");     // small io
    EXPECT_EQ(to_w1251("\xE2\x82\xAC"), "\x88"); // euro sign
    EXPECT_EQ(to_w1251("\xE2\x84\x96"), "\xB9"); // numero sign
    EXPECT_EQ(to_w1251("AЯ z"), "A\xDF z");
    EXPECT_EQ(to_w1251(""), "");
}

TEST(Utf8ToW1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(to_w1251("\xC3\xA9"), "?");         // e with acute
    EXPECT_EQ(to_w1251("\xF0\x9F\x98\x80"), "?"); // above U+FFFF
    EXPECT_EQ(to_w1251("\x7F"), "\x7F");
    // U+007F is in the table only for the reverse direction: 0x98 never comes out.
    EXPECT_EQ(to_w1251("\xC1\xBF"), "\x7F");
}

TEST(Utf8ToW1251, MalformedSequencesAreDroppedAndTheRestConverted) {
    EXPECT_EQ(to_w1251("A\x9F"
                       "B"),
              "AB"); // stray continuation byte
    EXPECT_EQ(to_w1251("A\xF8\xFF"
                       "B"),
              "AB");
    EXPECT_EQ(to_w1251("\xD0\xD0\x9F"), "");
    EXPECT_EQ(to_w1251("\xD0"
                       "AB"),
              "B"); // the breaking byte goes with it
    EXPECT_EQ(to_w1251("\xE2\x82"
                       "AB"),
              "B");
    EXPECT_EQ(to_w1251("\xC0\x80"), "");  // overlong zero
    EXPECT_EQ(to_w1251("\xC1\x81"), "A"); // overlong A
}

// A text cut in the middle of a letter by a fixed-size buffer: the converter
// stops at the terminator instead of taking it as a continuation byte.
TEST(Utf8ToW1251, SequenceCutByTheTerminatorEndsTheText) {
    char input[] = "AB\xD0\x00"
                   "CD";
    char out[8];
    memset(out, 'X', sizeof out);
    EXPECT_EQ(u8_to_w1251(out, input), out);
    EXPECT_STREQ(out, "AB");
    EXPECT_EQ(to_w1251("въ\xE2\x82"), "\xE2\xFA");
    EXPECT_EQ(to_w1251("\xF0\x9F\x98"), "");
}

TEST(W1251ToUtf8, BytesMapToTheirCharacters) {
    EXPECT_EQ(to_u8("\xC0"), "\xD0\x90");
    EXPECT_EQ(to_u8("\xFF"), "\xD1\x8F");
    EXPECT_EQ(to_u8("\x88"), "\xE2\x82\xAC");
    EXPECT_EQ(to_u8("\xA0"), "\xC2\xA0");
    EXPECT_EQ(to_u8("\x98"), "\x7F");
    EXPECT_EQ(to_u8("\xE2\xFA\xE5\xE7\xE4"), "въезд");
    EXPECT_EQ(to_u8(""), "");
}

TEST(Conversion, NullOutputBufferIsReturnedUntouched) {
    EXPECT_EQ(u8_to_w1251(nullptr, "abc"), nullptr);
    EXPECT_EQ(w1251_to_u8(nullptr, "abc"), nullptr);
}

// Every byte but NUL to UTF-8 and back comes back unchanged, except 0x98,
// whose stand-in DEL comes back as itself.
TEST(Conversion, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    std::string expected = all;
    expected[0x98 - 1] = '\x7F';
    std::string utf8 = to_u8(all);
    EXPECT_LE(utf8.size(), 3 * all.size());
    EXPECT_EQ(to_w1251(utf8), expected);
}
