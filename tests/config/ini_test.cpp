#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/config/config.h"
#include "platform/config/config_parse.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Closer {
    void operator()(config_file* handle) const { ConfigClose(handle); }
};
using Config = std::unique_ptr<config_file, Closer>;

Config parse(const std::string& text) {
    Config config(config_parse_text(text.data(), text.size()));
    EXPECT_NE(config, nullptr);
    return config;
}

const std::string missing = "<missing>";

std::string get(const Config& config, const char* section, const char* key, int size = 256) {
    std::string value(static_cast<size_t>(size > 0 ? size : 1), '#');
    if (ConfigGetStr(config.get(), &value[0], section, key, size) != 0)
        return missing;
    return std::string(value.c_str());
}

} // namespace

TEST(IniSyntax, SectionsKeysCommentsAndBlanks) {
    const Config config = parse("; leading comment\n"
                                "# another comment\n"
                                "\n"
                                "[common]\n"
                                "deviceid=gate-1\n"
                                "  spaced   =   a value with blanks  \n"
                                "\ttabbed\t=\tx\t\n"
                                "\n"
                                "  [ barrier ]  \n"
                                "barrier_type = in\n"
                                "; deviceid = commented\n");
    EXPECT_EQ(get(config, "common", "deviceid"), "gate-1");
    EXPECT_EQ(get(config, "common", "spaced"), "a value with blanks");
    EXPECT_EQ(get(config, "common", "tabbed"), "x");
    EXPECT_EQ(get(config, "barrier", "barrier_type"), "in");
    EXPECT_EQ(get(config, "barrier", "deviceid"), missing);
    EXPECT_EQ(get(config, "common", "; deviceid"), missing);
}

TEST(IniSyntax, CrlfLineEnds) {
    const Config config = parse("[barrier]\r\nbarrier_type = in\r\n[net_base]\r\nuse = 0\r\n");
    EXPECT_EQ(get(config, "barrier", "barrier_type"), "in");
    int value = -1;
    EXPECT_EQ(ConfigGetInt(config.get(), &value, "net_base", "use"), 0);
    EXPECT_EQ(value, 0);
}

// Quotes keep blanks that would otherwise be dropped; comment characters
// and '=' inside a value belong to it.
TEST(IniSyntax, ValuesKeepTheirInsides) {
    const Config config = parse("[s]\n"
                                "quoted = \"in \"\n"
                                "empty_quotes = \"\"\n"
                                "one_quote = \"\n"
                                "semicolon = a;b # c\n"
                                "equals = x=y\n"
                                "empty =\n");
    EXPECT_EQ(get(config, "s", "quoted"), "in ");
    EXPECT_EQ(get(config, "s", "empty_quotes"), "");
    EXPECT_EQ(get(config, "s", "one_quote"), "\"");
    EXPECT_EQ(get(config, "s", "semicolon"), "a;b # c");
    EXPECT_EQ(get(config, "s", "equals"), "x=y");
    EXPECT_EQ(get(config, "s", "empty"), "");
}

TEST(IniSyntax, NamesAreExact) {
    const Config config = parse("top = 1\n[Recognizer]\nKey = A\n[recognizer]\nkey = b\n");
    EXPECT_EQ(get(config, "", "top"), "1");
    EXPECT_EQ(get(config, "Recognizer", "Key"), "A");
    EXPECT_EQ(get(config, "recognizer", "key"), "b");
    EXPECT_EQ(get(config, "recognizer", "Key"), missing);
    EXPECT_EQ(get(config, "recognizer", "top"), missing);
}

// A line that is neither section, key nor comment is skipped; it neither
// ends the section nor hides the lines after it.
TEST(IniSyntax, MalformedLinesAreSkipped) {
    const Config config = parse("[good]\n"
                                "[unterminated\n"
                                "no equals sign\n"
                                "= no key\n"
                                "after = kept\n"
                                "[next] trailing text\n"
                                "k = v\n");
    EXPECT_EQ(get(config, "good", "after"), "kept");
    EXPECT_EQ(get(config, "next", "k"), "v");
    EXPECT_EQ(get(config, "unterminated", "after"), missing);
    EXPECT_EQ(get(config, "good", ""), missing);
}

TEST(IniSyntax, LastDuplicateWins) {
    const Config config = parse("[a]\nkey = first\nkey = second\n"
                                "[b]\nkey = other\n"
                                "[a]\nkey = third\nmore = yes\n");
    EXPECT_EQ(get(config, "a", "key"), "third");
    EXPECT_EQ(get(config, "a", "more"), "yes");
    EXPECT_EQ(get(config, "b", "key"), "other");
}

TEST(IniStrings, ValuesAreCutToTheSize) {
    const Config config = parse("[s]\nkey = abcdef\n");
    EXPECT_EQ(get(config, "s", "key", 1), "");
    EXPECT_EQ(get(config, "s", "key", 4), "abc");
    EXPECT_EQ(get(config, "s", "key", 6), "abcde");
    EXPECT_EQ(get(config, "s", "key", 7), "abcdef");
}

// Nothing fits in no room at all; the destination is not touched.
TEST(IniStrings, FailedReadsLeaveTheDestination) {
    const Config config = parse("[s]\nkey = value\n");
    char dest[8] = "keep";
    EXPECT_NE(ConfigGetStr(config.get(), dest, "s", "key", 0), 0);
    EXPECT_NE(ConfigGetStr(config.get(), dest, "s", "key", -1), 0);
    EXPECT_NE(ConfigGetStr(config.get(), dest, "s", "other", 8), 0);
    EXPECT_NE(ConfigGetStr(config.get(), dest, "t", "key", 8), 0);
    EXPECT_NE(ConfigGetStr(config.get(), dest, nullptr, "key", 8), 0);
    EXPECT_NE(ConfigGetStr(config.get(), dest, "s", nullptr, 8), 0);
    EXPECT_NE(ConfigGetStr(nullptr, dest, "s", "key", 8), 0);
    EXPECT_STREQ(dest, "keep");
    EXPECT_NE(ConfigGetStr(config.get(), nullptr, "s", "key", 8), 0);
}

TEST(IniIntegers, DecimalValues) {
    const Config config = parse("[n]\nzero = 0\nplain = 42\nnegative = -7\nplus = +3\n"
                                "leading_zero = 010\nmax = 2147483647\nmin = -2147483648\n");
    const struct {
        const char* key;
        int expected;
    } cases[] = {{"zero", 0},          {"plain", 42},    {"negative", -7}, {"plus", 3},
                 {"leading_zero", 10}, {"max", INT_MAX}, {"min", INT_MIN}};
    for (const auto& c : cases) {
        int value = 12345;
        EXPECT_EQ(ConfigGetInt(config.get(), &value, "n", c.key), 0) << c.key;
        EXPECT_EQ(value, c.expected) << c.key;
    }
}

// Not a decimal integer of int's range: a failed read, and the caller's
// preset stays, whatever the width of long on the machine.
TEST(IniIntegers, OtherValuesAreFailedReads) {
    const Config config = parse("[n]\nempty =\nword = on\nhex = 0x10\ntrailing = 12abc\n"
                                "inner = 1 2\nfraction = 1.5\nsign = -\ndouble_sign = +-5\n"
                                "quoted_blank = \" 7\"\nabove = 2147483648\nbelow = -2147483649\n"
                                "huge = 99999999999999999999999\n");
    for (const char* key : {"empty", "word", "hex", "trailing", "inner", "fraction", "sign",
                            "double_sign", "quoted_blank", "above", "below", "huge", "absent"}) {
        int value = 12345;
        EXPECT_NE(ConfigGetInt(config.get(), &value, "n", key), 0) << key;
        EXPECT_EQ(value, 12345) << key;
    }
    EXPECT_NE(ConfigGetInt(config.get(), nullptr, "n", "empty"), 0);
}

TEST(IniRobustness, VeryLongLines) {
    const std::string long_value(1 << 20, 'v');
    const Config config = parse("[s]\nlong = " + long_value + "\n" + std::string(300000, '[') +
                                "\n" + std::string(300000, '=') + "\nafter = ok\n");
    EXPECT_EQ(get(config, "s", "long", 65), std::string(64, 'v'));
    EXPECT_EQ(get(config, "s", "after"), "ok");
}

// Bytes of any value, NULs included, neither crash the reader nor spoil the
// well-formed lines around them.
TEST(IniRobustness, BinaryGarbage) {
    std::string garbage;
    unsigned state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        garbage.push_back(static_cast<char>(state >> 16));
    }
    const Config config = parse("[a]\nbefore = 1\n" + garbage + "\n[b]\nafter = 2\n");
    EXPECT_EQ(get(config, "a", "before"), "1");
    EXPECT_EQ(get(config, "b", "after"), "2");

    static const char text_with_nul[] = "[s]\nkey = ab\0cd\nnum = 1\0002\n";
    const Config with_nul = parse(std::string(text_with_nul, sizeof text_with_nul - 1));
    EXPECT_EQ(get(with_nul, "s", "key"), "ab");
    int value = 7;
    EXPECT_NE(ConfigGetInt(with_nul.get(), &value, "s", "num"), 0);
    EXPECT_EQ(value, 7);
}

class IniFiles : public ::testing::Test {
  protected:
    void SetUp() override { dir = make_scratch_dir(); }
    void TearDown() override { remove_scratch_dir(dir); }
    std::string dir;
};

TEST_F(IniFiles, OpensReadsAndCloses) {
    const std::string path = dir + "/streams.ini";
    write_text_file(path, "[common]\ndeviceid = gate-9\n");
    CONFIG_HANDLE handle = ConfigOpen(path.c_str(), 0);
    ASSERT_NE(handle, nullptr);
    char id[64] = "";
    EXPECT_EQ(ConfigGetStr(handle, id, "common", "deviceid", sizeof id), 0);
    EXPECT_STREQ(id, "gate-9");
    EXPECT_EQ(ConfigClose(handle), 0);
}

TEST_F(IniFiles, WhatCannotBeReadDoesNotOpen) {
    EXPECT_EQ(ConfigOpen((dir + "/absent.ini").c_str(), 0), nullptr);
    EXPECT_EQ(ConfigOpen(dir.c_str(), 0), nullptr);
    EXPECT_EQ(ConfigOpen("", 0), nullptr);
    EXPECT_EQ(ConfigOpen(nullptr, 0), nullptr);
    EXPECT_NE(ConfigClose(nullptr), 0);
}

TEST_F(IniFiles, EmptyFileHasNoKeys) {
    const std::string path = dir + "/empty.ini";
    write_text_file(path, "");
    const Config config(ConfigOpen(path.c_str(), 0));
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(get(config, "", ""), missing);
}
