#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "access/access_base.h"

namespace {

// "owner|places|seconds|time text" of the parsed info.
std::string parsed(const char* info, size_t len) {
    _access_entry_t entry;
    memset(&entry, 0x55, sizeof entry);
    parse_access_info(&entry, info, len);
    return std::string(entry.owner) + "|" + std::to_string(entry.places) + "|" +
           std::to_string(entry.max_park_time) + "|" + entry.max_park_text;
}

} // namespace

TEST(AccessInfo, OwnerPlacesAndTimeFields) {
    const std::pair<const char*, const char*> rows[] = {
        {"A,2,01:30", "A|2|5400|01:30"},
        {"A,3", "A|3|0|"},
        {",,0:45", "|0|2700|0:45"},
        {"A", "A|0|0|"},
        {"", "|0|0|"},
        {"B,1,0:10,extra,more", "B|1|600|0:10"}, // after a third comma: ignored
        // Places read like a decimal prefix, held at the limit on every
        // platform rather than wrapped.
        {"A, 7", "A|7|0|"},
        {"A,+4", "A|4|0|"},
        {"A,5x", "A|5|0|"},
        {"A,x5", "A|0|0|"},
        {"A,99999999999999999999", "A|2147483647|0|"},
        {"A,-99999999999999999999", "A|-2147483648|0|"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parsed(row.first, strlen(row.first)), row.second);
}

// The file need not terminate `info`: all 32 bytes are text, the fields stay
// terminated and nothing beyond the field (or its terminator) is read.
TEST(AccessInfo, UnterminatedInfoIsReadWithinItsField) {
    char info[32];
    memset(info, 'Z', sizeof info);
    memcpy(info, "OWNER,12,", 9);
    EXPECT_EQ(parsed(info, sizeof info), "OWNER|12|0|" + std::string(23, 'Z'));
    memset(info, 'Q', sizeof info); // one field of 32 bytes
    EXPECT_EQ(parsed(info, sizeof info), std::string(31, 'Q') + "|0|0|");
    EXPECT_EQ(parsed("A\0,5", 4), "A|0|0|");
}

// No range check on either part; a value beyond 16 bits is held at the limit
// rather than wrapped into a short.
TEST(Strhmtime, HoursAndMinutesWithoutRangeCheck) {
    const std::pair<const char*, long> rows[] = {
        {"1:30", 5400}, {"1:30:15", 5400}, {"25:00", 90000},
        {"0:90", 5400}, {"0:00", 0},       {"", 0},
        {"2", 7200},    {":5", 300},       {"70000:00", 32767L * 3600}};
    for (const auto& row : rows) {
        short hours = -1, minutes = -1;
        strhmtime(&hours, &minutes, row.first);
        EXPECT_EQ((hours * 60L + minutes) * 60L, row.second) << row.first;
    }
}
