#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tools/accessbase/access_entry.h"
#include "tools/accessbase/iso_time.h"

namespace {

AccessRow row_with(const std::string& number) {
    return AccessRow{number, "2024-01-01T00:00:00Z", "2024-12-31T23:59:59Z", "", "", "", ""};
}

// The refusal message for `row`, or "" when it was accepted.
std::string refusal(const AccessRow& row) {
    _access_rec_t record;
    std::string error;
    return make_access_record(row, &record, &error) == 0 ? "" : error;
}

// Seconds of an ISO date, or -1 when it is refused (no valid test date is -1).
int64_t seconds(const std::string& text) {
    int32_t value = 0;
    std::string error;
    return parse_iso_time(text, &value, &error) == 0 ? value : -1;
}

} // namespace

TEST(AccessRecordMaking, StoresEveryFieldWhereTheServiceReadsIt) {
    AccessRow row = row_with("A???BC");
    row.owner = "Иванов";
    row.places = "2";
    row.max_time = "1:30";
    row.text = "Гость}";
    _access_rec_t record;
    memset(&record, 0x5A, sizeof record);
    std::string error;
    ASSERT_EQ(make_access_record(row, &record, &error), 0) << error;
    EXPECT_EQ(record.reserved[0] | record.reserved[1], 0);
    EXPECT_STREQ(record.number, "A???BC");
    EXPECT_EQ(record.period_from, 1704067200);
    EXPECT_EQ(record.period_to, 1735689599);
    EXPECT_STREQ(record.info, "\xC8\xE2\xE0\xED\xEE\xE2,2,1:30");
    EXPECT_STREQ(record.text, "\xC3\xEE\xF1\xF2\xFC}");

    row.places = "";
    row.max_time = "0:45";
    ASSERT_EQ(make_access_record(row, &record, &error), 0);
    _access_entry_t entry;
    parse_access_info(&entry, record.info, sizeof record.info);
    EXPECT_EQ(entry.places, 0);
    EXPECT_EQ(entry.max_park_time, 2700);
}

TEST(AccessRecordMaking, RefusesWhatTheFileCannotHold) {
    EXPECT_EQ(refusal(row_with("ABCDEFGHI")), "");
    EXPECT_NE(refusal(row_with("ABCDEFGHIJ")).find("at most 9"), std::string::npos);
    for (const char* pattern : {"", "A*1", "A 1", "A;1"})
        EXPECT_NE(refusal(row_with(pattern)), "") << pattern;

    AccessRow owner = row_with("A1");
    owner.owner = std::string(15, 'x') + "Ж" + std::string(15, 'x'); // 31 bytes in CP1251
    EXPECT_EQ(refusal(owner), "");
    owner.places = "1"; // now 33
    EXPECT_NE(refusal(owner).find("at most 31"), std::string::npos);

    AccessRow text = row_with("A1");
    text.text = std::string(62, 'x') + "Ж"; // 63 bytes in CP1251, 64 in UTF-8
    EXPECT_EQ(refusal(text), "");
    text.text += "x";
    EXPECT_NE(refusal(text).find("at most 63"), std::string::npos);
}

TEST(AccessRecordMaking, RefusesTextsThatWouldChangeOrSplitColumns) {
    const std::pair<std::string, std::string> owners[] = {
        {"Café", "U+00E9"}, {"A,B", "','"}, {"A;B", "';'"}, {"\xD0", "UTF-8"}};
    for (const auto& owner : owners) {
        AccessRow row = row_with("A1");
        row.owner = owner.first;
        EXPECT_NE(refusal(row).find(owner.second), std::string::npos) << owner.first;
    }
    for (const char* text : {"one;two", "line\nbreak", "\xC1\x81", "\xED\xA0\x80"}) {
        AccessRow row = row_with("A1");
        row.text = text;
        EXPECT_NE(refusal(row), "") << text;
    }
}

TEST(AccessRecordMaking, RefusesMalformedPlacesTimesAndPeriods) {
    AccessRow row = row_with("A1");
    for (const char* places : {"-1", "2x", " 3", "1234567890"}) {
        row.places = places;
        EXPECT_NE(refusal(row), "") << places;
    }
    row.places = "";
    for (const char* time : {"0:90", "1", "1:3", "a:00", "99999:00", "1:30:15"}) {
        row.max_time = time;
        EXPECT_NE(refusal(row), "") << time;
    }
    row.max_time = "25:00";
    EXPECT_EQ(refusal(row), "");
    row.from = "2025-01-01T00:00:00Z";
    EXPECT_NE(refusal(row).find("before it starts"), std::string::npos);
}

TEST(IsoTime, ZoneIsExplicitAndTheCalendarChecked) {
    EXPECT_EQ(seconds("2009-03-14T06:05:09Z"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14T08:05:09+02:00"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14 01:05:09-0500"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14T06:05Z"), 1237010700);
    EXPECT_EQ(seconds("2024-02-29T00:00:00Z"), 1709164800);
    EXPECT_EQ(seconds("2038-01-19T03:14:07Z"), INT32_MAX);
    EXPECT_EQ(seconds("1901-12-13T20:45:52Z"), INT32_MIN);
    for (const char* refused :
         {"2009-03-14T06:05:09", "2009-03-14", "14-03-2009T06:05:09Z", "2009-03-14T06:05:09Z x",
          "2023-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-01-01T24:00:00Z",
          "2038-01-19T03:14:08Z", "1901-12-13T20:45:51Z"})
        EXPECT_EQ(seconds(refused), -1) << refused;
}

TEST(IsoTime, WrittenInUtcAndReadBack) {
    for (int32_t value : {INT32_MIN, -1, 0, 1237010709, INT32_MAX})
        EXPECT_EQ(seconds(format_iso_time(value)), value) << format_iso_time(value);
    EXPECT_EQ(format_iso_time(-1), "1969-12-31T23:59:59Z");
}
