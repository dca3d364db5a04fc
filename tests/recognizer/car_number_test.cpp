#include <cstring>

#include <gtest/gtest.h>

#include "recognizer/car_number.h"

namespace {

const unsigned plate_size = 13;

// A 13-byte plate followed by guard bytes that must never change.
struct guarded_plate {
    char text[plate_size + 4];
    guarded_plate() { memset(text, '#', sizeof text); }
    bool guards_intact() const { return memcmp(text + plate_size, "####", 4) == 0; }
};

} // namespace

TEST(CarNumber, UnreadableCharactersBecomeWildcards) {
    guarded_plate plate;
    make_car_number(plate.text, plate_size, "A12", "*77");
    EXPECT_STREQ(plate.text, "A12?77");

    make_car_number(plate.text, plate_size, "**", "*");
    EXPECT_STREQ(plate.text, "???");

    make_car_number(plate.text, plate_size, "", "");
    EXPECT_STREQ(plate.text, "");
    EXPECT_TRUE(plate.guards_intact());
}

TEST(CarNumber, LongTextsAreCutAtTwelve) {
    guarded_plate plate;
    make_car_number(plate.text, plate_size, "ABCDEFGHIJ", "*LMNOP");
    EXPECT_STREQ(plate.text, "ABCDEFGHIJ?L");
    EXPECT_TRUE(plate.guards_intact());

    make_car_number(plate.text, plate_size, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "77");
    EXPECT_STREQ(plate.text, "ABCDEFGHIJKL");
    EXPECT_TRUE(plate.guards_intact());
}

TEST(CarNumber, TinyBuffersAndMissingTextsAreSafe) {
    guarded_plate plate;
    make_car_number(plate.text, 0, "A12", "77");
    EXPECT_EQ(plate.text[0], '#');

    make_car_number(plate.text, 1, "A12", "77");
    EXPECT_EQ(plate.text[0], '\0');
    EXPECT_EQ(plate.text[1], '#');

    make_car_number(plate.text, plate_size, nullptr, "*7");
    EXPECT_STREQ(plate.text, "?7");
    make_car_number(plate.text, plate_size, "A1", nullptr);
    EXPECT_STREQ(plate.text, "A1");
    make_car_number(nullptr, plate_size, "A1", "2");
    EXPECT_TRUE(plate.guards_intact());
}
