#include <cstring>

#include <gtest/gtest.h>

#include "access/access_base.h"

namespace {

// The number as the decision hands it over: a 13-byte zero-padded field.
int matches(const char* pattern, const char* number) {
    char field[13] = {};
    strncpy(field, number, sizeof field - 1);
    return car_number_cmp(pattern, field);
}

} // namespace

TEST(CarNumberCmp, LiteralPatternsMatchExactlyAndCaseSensitively) {
    EXPECT_EQ(matches("A123BC", "A123BC"), 1);
    EXPECT_EQ(matches("A123BC", "a123bc"), 0);
    EXPECT_EQ(matches("A123BC", "A123B"), 0);   // number shorter
    EXPECT_EQ(matches("A123BC", "A123BCD"), 0); // number longer
}

TEST(CarNumberCmp, TrailingWildcardsAlsoMatchAbsentCharacters) {
    EXPECT_EQ(matches("A??", "A"), 1);
    EXPECT_EQ(matches("A??", "AB"), 1);
    EXPECT_EQ(matches("A??", "ABC"), 1);
    EXPECT_EQ(matches("A??", "ABCD"), 0);
    EXPECT_EQ(matches("?????????", ""), 1);
}

TEST(CarNumberCmp, WildcardBeforeALiteralNeedsARealCharacter) {
    EXPECT_EQ(matches("A?1", "AX1"), 1);
    EXPECT_EQ(matches("A?1", "A1"), 0);
    EXPECT_EQ(matches("?1", "1"), 0);
}

TEST(CarNumberCmp, UnreadCharacterInTheNumberMatchesOnlyAWildcard) {
    EXPECT_EQ(matches("A1?3", "A1?3"), 1);
    EXPECT_EQ(matches("A123", "A1?3"), 0);
}

TEST(CarNumberCmp, EmptyPatternMatchesOnlyAnEmptyNumber) {
    EXPECT_EQ(matches("", ""), 1);
    EXPECT_EQ(matches("", "A"), 0);
}

// A file may fill the 10-byte pattern field without a terminator; the
// comparison must end at the field, not run into the period that follows.
TEST(CarNumberCmp, UnterminatedPatternEndsAtItsField) {
    _access_rec_t record;
    memset(&record, 0x7A, sizeof record); // 'z' everywhere, no terminator
    memcpy(record.number, "ABCDEFGHIJ", 10);
    EXPECT_EQ(matches(record.number, "ABCDEFGHIJ"), 1);
    EXPECT_EQ(matches(record.number, "ABCDEFGHIJz"), 0);
    memcpy(record.number, "ABCDEFGH??", 10);
    EXPECT_EQ(matches(record.number, "ABCDEFGH"), 1);
}

// A short number in a short buffer: wildcards after its end must not read on.
TEST(CarNumberCmp, NumberIsNotReadPastItsTerminator) {
    const char number[2] = {'A', '\0'};
    EXPECT_EQ(car_number_cmp("A????????", number), 1);
}
