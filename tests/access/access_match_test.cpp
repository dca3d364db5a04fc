#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"

TEST(CarNumberCmp, WildcardsLiteralsAndFieldEnds) {
    const struct {
        const char* pattern;
        std::vector<const char*> matching, other;
    } rows[] = {
        // Literals match exactly, case included.
        {"A123BC", {"A123BC"}, {"a123bc", "A123B", "A123BCD"}},
        // Trailing wildcards also match absent characters.
        {"A??", {"A", "AB", "ABC"}, {"ABCD"}},
        {"?????????", {""}, {}},
        // A wildcard before a literal needs a real character.
        {"A?1", {"AX1"}, {"A1"}},
        {"?1", {}, {"1"}},
        // An unread character in the number only matches a wildcard.
        {"A1?3", {"A1?3"}, {}},
        {"A123", {}, {"A1?3"}},
        // The empty pattern only matches the empty number.
        {"", {""}, {"A"}},
    };
    for (const auto& row : rows)
        for (int matched : {1, 0})
            for (const char* number : matched ? row.matching : row.other) {
                // The number as the decision hands it over: a 13-byte zero-padded field.
                char field[13] = {};
                strncpy(field, number, sizeof field - 1);
                EXPECT_EQ(car_number_cmp(row.pattern, field), matched)
                    << row.pattern << " " << number;
            }
    // A pattern filling its 10 bytes ends there, not in the period that follows.
    _access_rec_t record;
    memset(&record, 'z', sizeof record);
    memcpy(record.number, "ABCDEFGHIJ", 10);
    EXPECT_EQ(car_number_cmp(record.number, "ABCDEFGHIJ"), 1);
    memcpy(record.number, "ABCDEFGH??", 10);
    EXPECT_EQ(car_number_cmp(record.number, "ABCDEFGH"), 1);
    // A short number in a short buffer: wildcards after its end must not read on.
    const char number[2] = {'A', '\0'};
    EXPECT_EQ(car_number_cmp("A????????", number), 1);
}
