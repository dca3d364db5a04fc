#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tools/accessbase/access_entry.h"
#include "tools/accessbase/cp1251_text.h"
#include "tools/accessbase/iso_time.h"

namespace {

AccessRow plain_row(const std::string& number) {
    return AccessRow{number, "2024-01-01T00:00:00Z", "2024-12-31T23:59:59Z", "", "", "", ""};
}

// The refusal message for `row`, or "" when it was accepted.
std::string refusal(const AccessRow& row) {
    _access_rec_t record;
    std::string error;
    return make_access_record(row, &record, &error) == 0 ? "" : error;
}

int32_t seconds(const std::string& text) {
    int32_t value = -1;
    std::string error;
    EXPECT_EQ(parse_iso_time(text, &value, &error), 0) << error;
    return value;
}

bool refused_time(const std::string& text) {
    int32_t value = 0;
    std::string error;
    return parse_iso_time(text, &value, &error) != 0 && !error.empty();
}

} // namespace

TEST(AccessRecordMaking, StoresEveryFieldWhereTheServiceReadsIt) {
    AccessRow row = plain_row("A???BC");
    row.owner = "Иванов";
    row.places = "2";
    row.max_time = "1:30";
    row.text = "Гость}";
    _access_rec_t record;
    memset(&record, 0x5A, sizeof record);
    std::string error;
    ASSERT_EQ(make_access_record(row, &record, &error), 0) << error;
    EXPECT_EQ(record.reserved[0], 0);
    EXPECT_EQ(record.reserved[1], 0);
    EXPECT_STREQ(record.number, "A???BC");
    EXPECT_EQ(record.period_from, 1704067200);
    EXPECT_EQ(record.period_to, 1735689599);
    EXPECT_STREQ(record.info, "\xC8\xE2\xE0\xED\xEE\xE2,2,1:30");
    EXPECT_STREQ(record.text, "\xC3\xEE\xF1\xF2\xFC}");

    // The service's own parse reads back what the editor meant.
    _access_entry_t entry;
    parse_access_info(&entry, record.info, sizeof record.info);
    EXPECT_EQ(entry.places, 2);
    EXPECT_EQ(entry.max_park_time, 5400);
}

TEST(AccessRecordMaking, InfoHoldsOnlyTheFieldsGiven) {
    AccessRow row = plain_row("A1");
    row.owner = "Ltd";
    _access_rec_t record;
    std::string error;
    ASSERT_EQ(make_access_record(row, &record, &error), 0);
    EXPECT_STREQ(record.info, "Ltd");
    row.places = "3";
    ASSERT_EQ(make_access_record(row, &record, &error), 0);
    EXPECT_STREQ(record.info, "Ltd,3");
    row.places = "";
    row.max_time = "0:45";
    ASSERT_EQ(make_access_record(row, &record, &error), 0);
    EXPECT_STREQ(record.info, "Ltd,,0:45");
}

TEST(AccessRecordMaking, RefusesWhatTheFileCannotHold) {
    EXPECT_EQ(refusal(plain_row("ABCDEFGHI")), "");
    EXPECT_NE(refusal(plain_row("ABCDEFGHIJ")).find("at most 9"), std::string::npos);
    EXPECT_NE(refusal(plain_row("")), "");
    EXPECT_NE(refusal(plain_row("A*1")), "");
    EXPECT_NE(refusal(plain_row("A 1")), "");

    AccessRow owner = plain_row("A1");
    owner.owner = std::string(15, 'x') + "Ж" + std::string(15, 'x'); // 31 bytes in CP1251
    EXPECT_EQ(refusal(owner), "");
    owner.places = "1"; // now 33
    EXPECT_NE(refusal(owner).find("at most 31"), std::string::npos);

    AccessRow text = plain_row("A1");
    text.text = std::string(62, 'x') + "Ж"; // 63 bytes in CP1251, 64 in UTF-8
    EXPECT_EQ(refusal(text), "");
    text.text += "x";
    EXPECT_NE(refusal(text).find("at most 63"), std::string::npos);
}

TEST(AccessRecordMaking, RefusesTextsThatWouldChangeOrSplitColumns) {
    AccessRow row = plain_row("A1");
    row.owner = "Café";
    EXPECT_NE(refusal(row).find("U+00E9"), std::string::npos);
    row.owner = "A,B";
    EXPECT_NE(refusal(row), "");
    row.owner = "A;B";
    EXPECT_NE(refusal(row).find("';'"), std::string::npos);
    row = plain_row("A1");
    row.text = "one;two";
    EXPECT_NE(refusal(row), "");
    row.text = "line\nbreak";
    EXPECT_NE(refusal(row), "");
    row.text = "\xD0";
    EXPECT_NE(refusal(row).find("UTF-8"), std::string::npos);
}

TEST(AccessRecordMaking, RefusesMalformedPlacesTimesAndPeriods) {
    AccessRow row = plain_row("A1");
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
    row = plain_row("A1");
    row.from = "2025-01-01T00:00:00Z";
    EXPECT_NE(refusal(row).find("before it starts"), std::string::npos);
}

TEST(IsoTime, ZoneIsAlwaysExplicit) {
    EXPECT_EQ(seconds("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(seconds("2009-03-14T06:05:09Z"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14T08:05:09+02:00"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14 01:05:09-0500"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14T06:05Z"), 1237010700);
    EXPECT_TRUE(refused_time("2009-03-14T06:05:09"));
    EXPECT_TRUE(refused_time("2009-03-14"));
    EXPECT_TRUE(refused_time("14-03-2009T06:05:09Z"));
    EXPECT_TRUE(refused_time("2009-03-14T06:05:09Z junk"));
}

TEST(IsoTime, CalendarAndRangeChecks) {
    EXPECT_EQ(seconds("2024-02-29T00:00:00Z"), 1709164800);
    EXPECT_TRUE(refused_time("2023-02-29T00:00:00Z"));
    EXPECT_TRUE(refused_time("2024-13-01T00:00:00Z"));
    EXPECT_TRUE(refused_time("2024-01-01T24:00:00Z"));
    EXPECT_EQ(seconds("2038-01-19T03:14:07Z"), INT32_MAX);
    EXPECT_EQ(seconds("1901-12-13T20:45:52Z"), INT32_MIN);
    EXPECT_TRUE(refused_time("2038-01-19T03:14:08Z"));
    EXPECT_TRUE(refused_time("1901-12-13T20:45:51Z"));
}

TEST(IsoTime, WrittenInUtcAndReadBack) {
    for (int32_t value : {INT32_MIN, -1, 0, 1237010709, 1709164800, INT32_MAX}) {
        const std::string text = format_iso_time(value);
        EXPECT_EQ(text.back(), 'Z');
        EXPECT_EQ(seconds(text), value) << text;
    }
    EXPECT_EQ(format_iso_time(-1), "1969-12-31T23:59:59Z");
}

TEST(Cp1251Text, AgreesWithTheServiceAndReadsFieldsWithinTheirBytes) {
    std::string cp1251;
    std::string error;
    ASSERT_EQ(utf8_to_cp1251_checked("Ёлка №5 €", &cp1251, &error), 0) << error;
    EXPECT_EQ(cp1251, "\xA8\xEB\xEA\xE0 \xB9"
                      "5 \x88");
    EXPECT_NE(utf8_to_cp1251_checked("\xC1\x81", &cp1251, &error), 0);     // overlong A
    EXPECT_NE(utf8_to_cp1251_checked("\xED\xA0\x80", &cp1251, &error), 0); // surrogate

    const char field[4] = {'\xC0', '\xFF', 'a', 'b'}; // no terminator
    EXPECT_EQ(cp1251_field_to_utf8(field, sizeof field), "Аяab");
}
