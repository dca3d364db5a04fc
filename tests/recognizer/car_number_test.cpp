#include <cstring>

#include <gtest/gtest.h>

#include "recognizer/car_number.h"

// The plate buffer is 13 bytes; the guard bytes after it must never change.
TEST(CarNumber, JoinsCutsAndTurnsUnreadableIntoWildcards) {
    char plate[17];
    memset(plate, '#', sizeof plate);
    make_car_number(plate, 13, "A12", "*77");
    EXPECT_STREQ(plate, "A12?77");
    make_car_number(plate, 13, "ABCDEFGHIJ", "*LMNOP");
    EXPECT_STREQ(plate, "ABCDEFGHIJ?L");
    make_car_number(plate, 13, nullptr, "*7");
    EXPECT_STREQ(plate, "?7");
    EXPECT_EQ(memcmp(plate + 13, "####", 4), 0);

    // Nothing at all is written or read for a size of 0, nor for no plate.
    memcpy(plate, "#*##", 5);
    make_car_number(plate, 0, "A12", "77");
    EXPECT_STREQ(plate, "#*##");
    make_car_number(nullptr, 13, "A12", "77");
    make_car_number(plate, 1, "A12", "77");
    EXPECT_EQ(plate[0], '\0');
    EXPECT_EQ(plate[1], '*');
}
