#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "access/access_base.h"

namespace {

_access_entry_t parsed(const std::string& info) {
    _access_entry_t entry;
    memset(&entry, 0x55, sizeof entry);
    parse_access_info(&entry, info.c_str(), info.size());
    return entry;
}

long seconds(const char* text) {
    short hours = -1;
    short minutes = -1;
    strhmtime(&hours, &minutes, text);
    return (hours * 60L + minutes) * 60L;
}

} // namespace

TEST(AccessInfo, OwnerPlacesAndTimeFields) {
    _access_entry_t full = parsed("A,2,01:30");
    EXPECT_STREQ(full.owner, "A");
    EXPECT_EQ(full.places, 2);
    EXPECT_EQ(full.max_park_time, 5400);
    EXPECT_STREQ(full.max_park_text, "01:30");

    _access_entry_t places_only = parsed("A,3");
    EXPECT_STREQ(places_only.owner, "A");
    EXPECT_EQ(places_only.places, 3);
    EXPECT_EQ(places_only.max_park_time, 0);
    EXPECT_STREQ(places_only.max_park_text, "");

    _access_entry_t time_only = parsed(",,0:45");
    EXPECT_STREQ(time_only.owner, "");
    EXPECT_EQ(time_only.places, 0);
    EXPECT_EQ(time_only.max_park_time, 2700);

    _access_entry_t owner_only = parsed("A");
    EXPECT_STREQ(owner_only.owner, "A");
    EXPECT_EQ(owner_only.places, 0);
    EXPECT_EQ(owner_only.max_park_time, 0);
}

TEST(AccessInfo, EmptyInfoGivesAnEntryWithoutOwner) {
    _access_entry_t entry = parsed("");
    EXPECT_STREQ(entry.owner, "");
    EXPECT_EQ(entry.places, 0);
    EXPECT_EQ(entry.max_park_time, 0);
    EXPECT_STREQ(entry.max_park_text, "");
}

TEST(AccessInfo, TextAfterAThirdCommaIsIgnored) {
    _access_entry_t entry = parsed("B,1,0:10,extra,more");
    EXPECT_STREQ(entry.owner, "B");
    EXPECT_EQ(entry.places, 1);
    EXPECT_STREQ(entry.max_park_text, "0:10");
    EXPECT_EQ(entry.max_park_time, 600);
}

TEST(AccessInfo, PlacesReadLikeADecimalPrefix) {
    EXPECT_EQ(parsed("A, 7").places, 7);
    EXPECT_EQ(parsed("A,+4").places, 4);
    EXPECT_EQ(parsed("A,5x").places, 5);
    EXPECT_EQ(parsed("A,x5").places, 0);
    // Far beyond 32 bits: held at the limit on every platform, never wrapped.
    EXPECT_EQ(parsed("A,99999999999999999999").places, 2147483647);
}

// The file need not terminate `info`: all 32 bytes are text, the fields stay
// terminated and nothing beyond the field is read.
TEST(AccessInfo, UnterminatedInfoIsReadWithinItsField) {
    _access_rec_t record;
    memset(&record, 'Z', sizeof record);
    memcpy(record.info, "OWNER,12,", 9); // 23 more 'Z' up to the field's end
    _access_entry_t entry;
    parse_access_info(&entry, record.info, sizeof record.info);
    EXPECT_STREQ(entry.owner, "OWNER");
    EXPECT_EQ(entry.places, 12);
    EXPECT_EQ(std::string(entry.max_park_text), std::string(23, 'Z'));

    memset(record.info, 'Q', sizeof record.info); // one field of 32 bytes
    parse_access_info(&entry, record.info, sizeof record.info);
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
}

TEST(Strhmtime, HugeValuesStayWithinSixteenBits) {
    short hours = 0;
    short minutes = 0;
    strhmtime(&hours, &minutes, "70000:-70000");
    EXPECT_EQ(hours, 32767);
    EXPECT_EQ(minutes, -32768);
}
