#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/accessbase/access_entry.h"
#include "tools/accessbase/iso_time.h"

namespace {

// The refusal message for a 2024 entry "A1" with `field` set to `value`, or
// "" when it was accepted; an accepted record keeps no stale reserved byte.
std::string refusal(std::string AccessRow::*field, const std::string& value) {
    AccessRow row{"A1", "2024-01-01T00:00:00Z", "2024-12-31T23:59:59Z", "", "", "", ""};
    row.*field = value;
    _access_rec_t record;
    memset(&record, 0x5A, sizeof record);
    std::string error;
    if (make_access_record(row, &record, &error) != 0)
        return error;
    EXPECT_EQ(record.reserved[0] | record.reserved[1], 0);
    return "";
}

// Seconds of an ISO date, or -1 when it is refused (no valid test date is -1).
int64_t seconds(const std::string& text) {
    int32_t value = 0;
    std::string error;
    return parse_iso_time(text, &value, &error) == 0 ? value : -1;
}

} // namespace

// Limits count CP1251 bytes, not UTF-8 ones; "" marks accepted values.
TEST(AccessRecordMaking, RefusesWhatTheFileCannotHoldOrWouldMisread) {
    struct Case {
        std::string AccessRow::*field;
        std::vector<std::string> values;
        const char* refusal;
    };
    const Case cases[] = {
        {&AccessRow::number, {"ABCDEFGHI"}, ""},
        {&AccessRow::number, {""}, "empty"},
        {&AccessRow::number, {"A*1", "A;1"}, "only Latin letters"},
        {&AccessRow::owner, {std::string(15, 'x') + "Ж" + std::string(15, 'x')}, ""},
        {&AccessRow::owner, {"A,B"}, "','"},
        {&AccessRow::owner, {"A;B"}, "';'"},
        {&AccessRow::owner, {"\xD0"}, "UTF-8"},
        {&AccessRow::text, {std::string(62, 'x') + "Ж"}, ""},
        {&AccessRow::text, {"one;two"}, "';'"},
        {&AccessRow::text, {"line\nbreak"}, "contains a line break"},
        {&AccessRow::text, {"old\rmac"}, "contains a carriage return"},
        {&AccessRow::text, {"tab\there"}, "contains a tab (U+0009 at offset 3)"},
        {&AccessRow::text, {"del\x7F"}, "contains a DEL character"},
        {&AccessRow::owner, {"bell\x07", "\xC2\x85"}, "contains a control character"},
        {&AccessRow::owner, {std::string("nul\0tail", 8)}, "\"nul\\x00tail\" contains a zero byte"},
        {&AccessRow::text, {std::string(500, 'x')}, "xxx...\" (500 bytes) takes 500 bytes"},
        {&AccessRow::text, {"\xC1\x81", "\xED\xA0\x80"}, "UTF-8"},
        {&AccessRow::places, {"-1", " 3", "1234567890"}, "whole number"},
        {&AccessRow::max_time, {"25:00", "0:59"}, ""},
        {&AccessRow::max_time, {"0:60", "1:3", "a:00", "99999:00", "1:30:15"}, "hours and minutes"},
        {&AccessRow::from, {"2025-01-01T00:00:00Z"}, "before it starts"},
        {&AccessRow::to,
         {"2024-06-01T00:00:00", "2024-06-01", "01-06-2024T00:00:00Z", "2024-06-01T00:00:00Z x"},
         "not a date with time and zone"},
        {&AccessRow::to,
         {"2025-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-06-01T24:00:00Z"},
         "not a valid date"},
        {&AccessRow::to, {"2038-01-19T03:14:08Z"}, "outside what the file can hold"},
        {&AccessRow::from, {"1901-12-13T20:45:51Z"}, "outside what the file can hold"},
    };
    for (const Case& c : cases) {
        for (const std::string& value : c.values) {
            const std::string error = refusal(c.field, value);
            if (c.refusal[0] == '\0')
                EXPECT_EQ(error, "") << value;
            else
                EXPECT_NE(error.find(c.refusal), std::string::npos) << value << ": " << error;
        }
    }
}

TEST(IsoTime, ZonesAppliedAndUtcWrittenBack) {
    EXPECT_EQ(seconds("2009-03-14T08:05:09+02:00"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14 01:05:09-0500"), 1237010709);
    EXPECT_EQ(seconds("2009-03-14T06:05Z"), 1237010700);
    EXPECT_EQ(seconds("2024-02-29T00:00:00Z"), 1709164800);
    for (int32_t value : {INT32_MIN, -1, 0, 1237010709, INT32_MAX})
        EXPECT_EQ(seconds(format_iso_time(value)), value) << format_iso_time(value);
    EXPECT_EQ(format_iso_time(-1), "1969-12-31T23:59:59Z");
}
