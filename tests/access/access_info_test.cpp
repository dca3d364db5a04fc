#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "access/access_base.h"

namespace {

_access_entry_t parsed(const char* info, size_t len) {
    _access_entry_t entry;
    memset(&entry, 0x55, sizeof entry);
    parse_access_info(&entry, info, len);
    return entry;
}

void expect_entry(const char* info, const char* owner, int places, int seconds,
                  const char* time_text) {
    const _access_entry_t entry = parsed(info, strlen(info));
    EXPECT_STREQ(entry.owner, owner) << info;
    EXPECT_EQ(entry.places, places) << info;
    EXPECT_EQ(entry.max_park_time, seconds) << info;
    EXPECT_STREQ(entry.max_park_text, time_text) << info;
}

long seconds(const char* text) {
    short hours = -1;
    short minutes = -1;
    strhmtime(&hours, &minutes, text);
    return (hours * 60L + minutes) * 60L;
}

} // namespace

TEST(AccessInfo, OwnerPlacesAndTimeFields) {
    expect_entry("A,2,01:30", "A", 2, 5400, "01:30");
    expect_entry("A,3", "A", 3, 0, "");
    expect_entry(",,0:45", "", 0, 2700, "0:45");
    expect_entry("A", "A", 0, 0, "");
    expect_entry("", "", 0, 0, "");
    expect_entry("B,1,0:10,extra,more", "B", 1, 600, "0:10"); // after a third comma: ignored
}

TEST(AccessInfo, PlacesReadLikeADecimalPrefix) {
    expect_entry("A, 7", "A", 7, 0, "");
    expect_entry("A,+4", "A", 4, 0, "");
    expect_entry("A,5x", "A", 5, 0, "");
    expect_entry("A,x5", "A", 0, 0, "");
    // Far beyond 32 bits: held at the limit on every platform, never wrapped.
    expect_entry("A,99999999999999999999", "A", 2147483647, 0, "");
}

// The file need not terminate `info`: all 32 bytes are text, the fields stay
// terminated and nothing beyond the field is read.
TEST(AccessInfo, UnterminatedInfoIsReadWithinItsField) {
    char info[32];
    memset(info, 'Z', sizeof info);
    memcpy(info, "OWNER,12,", 9);
    _access_entry_t entry = parsed(info, sizeof info);
    EXPECT_STREQ(entry.owner, "OWNER");
    EXPECT_EQ(entry.places, 12);
    EXPECT_EQ(std::string(entry.max_park_text), std::string(23, 'Z'));

    memset(info, 'Q', sizeof info); // one field of 32 bytes
    entry = parsed(info, sizeof info);
    EXPECT_EQ(std::string(entry.owner), std::string(31, 'Q'));
}

TEST(Strhmtime, HoursAndMinutesWithoutRangeCheck) {
    EXPECT_EQ(seconds("1:30"), 5400);
    EXPECT_EQ(seconds("1:30:15"), 5400);
    EXPECT_EQ(seconds("25:00"), 90000);
    EXPECT_EQ(seconds("0:90"), 5400);
    EXPECT_EQ(seconds("0:00"), 0);
    EXPECT_EQ(seconds(""), 0);
    EXPECT_EQ(seconds("2"), 7200); // no colon: all hours
    EXPECT_EQ(seconds(":5"), 300);
    // Held within 16 bits rather than wrapped into a short limit.
    EXPECT_EQ(seconds("70000:00"), 32767L * 3600);
}
