#include <climits>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/config/config.h"
#include "platform/config/config_parse.h"

namespace {

struct Closer {
    void operator()(config_file* handle) const { ConfigClose(handle); }
};
using Config = std::unique_ptr<config_file, Closer>;

Config parse(const std::string& text) {
    return Config(config_parse_text(text.data(), text.size()));
}

// The value read into `size` bytes, or "<missing>" on a failed read.
std::string get(const Config& config, const char* section, const char* key, int size = 300) {
    std::string dest(300, '#');
    if (ConfigGetStr(config.get(), &dest[0], section, key, size) != 0)
        return dest == std::string(300, '#') ? "<missing>" : "<touched>";
    return dest.c_str();
}

} // namespace

TEST(Ini, Syntax) {
    const Config config = parse("top = 1\n; comment = 1\n# hash = 1\n\n[common]\n"
                                "deviceid=gate-1\n  spaced   =   a b  \n\tt\t=\tx\t\n"
                                "  [ barrier ]  \r\nbarrier_type = in\r\n"
                                "[s]\nquoted = \"in \"\nsemi = a;b # c\nequals = x=y\nempty =\n"
                                "[unterminated\nno equals sign\n= no key\nafter = kept\n"
                                "[Case] trailing\nKey = A\n"
                                "[d]\nk = first\nk = second\n[e]\nk = other\n[d]\nk = third\n");
    const char* const rows[][3] = {{"", "top", "1"},
                                   {"", "; comment", "<missing>"},
                                   {"", "# hash", "<missing>"},
                                   {"common", "deviceid", "gate-1"},
                                   {"common", "spaced", "a b"},
                                   {"common", "t", "x"},
                                   {"barrier", "barrier_type", "in"},
                                   {"s", "quoted", "in "},
                                   {"s", "semi", "a;b # c"},
                                   {"s", "equals", "x=y"},
                                   {"s", "empty", ""},
                                   {"s", "after", "kept"},
                                   {"s", "", "<missing>"},
                                   {"unterminated", "after", "<missing>"},
                                   {"Case", "Key", "A"},
                                   {"case", "key", "<missing>"},
                                   {"d", "k", "third"},
                                   {"e", "k", "other"}};
    for (const auto& row : rows)
        EXPECT_EQ(get(config, row[0], row[1]), row[2]) << row[0] << "/" << row[1];
}

// Only whole decimal numbers of int's range count, also where long has 64
// bits; a failed read leaves the caller's preset.
TEST(Ini, Integers) {
    const auto read = [](const std::string& text, int& value) {
        return ConfigGetInt(parse("[n]\nk = " + text + "\n").get(), &value, "n", "k");
    };
    int value = 5;
    for (const char* text :
         {"", "on", "0x10", "12abc", "1 2", "\" 7\"", "2147483648", "-2147483649"}) {
        EXPECT_NE(read(text, value), 0) << text;
        EXPECT_EQ(value, 5) << text;
    }
    const std::pair<const char*, int> good[] = {
        {"42", 42}, {"+3", 3}, {"-2147483648", INT_MIN}, {"2147483647", INT_MAX}};
    for (const auto& row : good) {
        EXPECT_EQ(read(row.first, value), 0) << row.first;
        EXPECT_EQ(value, row.second) << row.first;
    }
}
