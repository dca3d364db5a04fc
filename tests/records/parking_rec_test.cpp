#include <cstring>

#include <gtest/gtest.h>

#include "records/parking_rec.h"

// Readers take the record by offset; a 12-character number must end before
// the kind byte and the signed access byte must read back as -1.
TEST(ParkingRecord, FieldsLandAtTheirOffsets) {
    _parking_rec_t rec;
    memset(&rec, 0, sizeof rec);
    rec.time = 0x01020304;
    memcpy(rec.number, "ABCDEFGHIJKL", 12);
    rec.kind = 7;
    rec.access = -1;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&rec);
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(bytes[4], 'A');
    EXPECT_EQ(bytes[15], 'L');
    EXPECT_EQ(bytes[16], 0);
    EXPECT_EQ(bytes[17], 7);
    EXPECT_EQ(bytes[19], 0xFF);
}
