#include <cstring>
#include <iconv.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/utf8-1251-utf8.h"

namespace {

// Exact-size output buffers, so a write past the documented size is caught.
std::string to_w1251(const std::string& utf8) {
    std::vector<char> out(utf8.size() + 1, 'X');
    return u8_to_w1251(out.data(), utf8.c_str());
}

std::string to_u8(const std::string& w1251) {
    std::vector<char> out(3 * w1251.size() + 1, 'X');
    return w1251_to_u8(out.data(), w1251.c_str());
}

// The system's own conversion of one CP1251 byte to UTF-8; "" when it has
// no character for it.
std::string system_u8(iconv_t cd, unsigned char byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8];
    char* from = in;
    char* to = out;
    size_t left = 1, room = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &from, &left, &to, &room) == static_cast<size_t>(-1))
        return "";
    return std::string(out, static_cast<size_t>(to - out));
}

} // namespace

// Every byte of the upper half as the system's CP1251 has it, but 0x98,
// which has no character there and is DEL here; and back again.
TEST(Wtable, UpperHalfAsTheSystemsCp1251) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1))
        GTEST_SKIP() << "the C library here has no CP1251 conversion";
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::string expected =
            b == 0x98 ? "\x7F" : system_u8(cd, static_cast<unsigned char>(b));
        ASSERT_FALSE(expected.empty()) << std::hex << b;
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(to_u8(byte), expected) << std::hex << b;
        if (b != 0x98) {
            EXPECT_EQ(to_w1251(expected), byte) << std::hex << b;
        }
    }
    iconv_close(cd);
}

TEST(Utf8ToW1251, LettersTableCharactersAndMalformedInput) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"въезд", "\xE2\xFA\xE5\xE7\xE4"},
        {"\xD0\x81\xD1\x91", "\xA8\xB8"},         // capital and small io
        {"\xE2\x82\xAC\xE2\x84\x96", "\x88\xB9"}, // euro and numero signs
        {"\xC3\xA9", "?"},                        // e with acute: not in the code page
        {"\xF0\x9F\x98\x80", "?"},                // above U+FFFF
        {"\xF1\x80\x81\x81", "?"},                // U+40041, not the letter A
        {"\xF0\x90\x90\x90", "?"},                // U+10410, not the Cyrillic А
        {"\x7F\xC1\xBF", "\x7F\x7F"},             // never 0x98, even for U+007F
        {"A\x9Fz", "Az"},                         // stray continuation byte
        {"A\xF9\x80\x80\x80\xFFz", "Az"},         // bytes that lead nothing
        {"\xD0\xD0\x9F", ""},                     // broken, breaker dropped, then stray
        {"\xD0zy", "y"},                          // the breaking byte goes with it
        {"\xC0\x80", ""},                         // overlong zero
        {"\xC1\x81", "A"},                        // overlong A
        {"\xDF\xBFz", "?z"},                      // the last two-byte lead, U+07FF
        {"въ\xE2\x82", "\xE2\xFA"},               // cut by the terminator
        // Cut in the middle of a letter by a fixed-size buffer: the terminator
        // is no continuation byte, and nothing after it is read.
        {std::string("AB\xD0\0CD", 6), "AB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(to_w1251(c.first), c.second) << c.first;
    EXPECT_EQ(u8_to_w1251(nullptr, "abc"), nullptr);
}

TEST(W1251ToUtf8, EveryByteMapsAndComesBack) {
    EXPECT_EQ(to_u8("\xE2\xFA\xE5\xE7\xE4"), "въезд");
    EXPECT_EQ(w1251_to_u8(nullptr, "abc"), nullptr);

    // Every byte but NUL there and back: unchanged, except 0x98 (DEL).
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    std::string expected = all;
    expected[0x98 - 1] = '\x7F';
    EXPECT_EQ(to_w1251(to_u8(all)), expected);
}
