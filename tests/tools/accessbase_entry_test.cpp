#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "tests/common/golden.h"
#include "tools/accessbase/access_entry.h"
#include "tools/accessbase/iso_time.h"
#include "tools/accessbase/pattern_index.h"
#include "tools/cp1251_text/shown_text.h"

namespace {

// Seconds of an ISO date, or -1 when it is refused (no valid test date is -1).
int64_t seconds(const std::string& text) {
    int32_t value = 0;
    std::string error;
    return parse_iso_time(text, &value, &error) == 0 ? value : -1;
}

} // namespace

// What the file cannot hold or the service would misread is refused; limits
// count CP1251 bytes, not UTF-8 ones. An accepted record keeps no stale
// reserved byte. The verdicts are in tests/tools/golden/access-entries.txt.
TEST(AccessRecordMaking, RefusesWhatTheFileCannotHoldOrWouldMisread) {
    const struct {
        const char* name;
        std::string AccessRow::*field;
        std::vector<std::string> values;
    } fields[] = {
        {"number", &AccessRow::number, {"ABCDEFGHI", "", "A*1", "A;1"}},
        {"owner",
         &AccessRow::owner,
         {std::string(15, 'x') + "Ж" + std::string(15, 'x'), "A,B", "A;B", "\xD0", "bell\x07",
          "\xC2\x85", std::string("nul\0tail", 8)}},
        {"text",
         &AccessRow::text,
         {std::string(62, 'x') + "Ж", "one;two", "line\nbreak", "old\rmac", "tab\there", "del\x7F",
          std::string(500, 'x'), "\xC1\x81", "\xED\xA0\x80"}},
        {"places", &AccessRow::places, {"-1", " 3", "1234567890"}},
        {"max_time",
         &AccessRow::max_time,
         {"25:00", "0:59", "0:60", "1:3", "a:00", "99999:00", "1:30:15"}},
        {"from", &AccessRow::from, {"2025-01-01T00:00:00Z", "1901-12-13T20:45:51Z"}},
        {"to",
         &AccessRow::to,
         {"2024-06-01T00:00:00", "2024-06-01", "01-06-2024T00:00:00Z", "2024-06-01T00:00:00Z x",
          "2025-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-06-01T24:00:00Z",
          "2038-01-19T03:14:08Z"}},
    };
    std::string verdicts;
    for (const auto& field : fields) {
        for (const std::string& value : field.values) {
            AccessRow row{"A1", "2024-01-01T00:00:00Z", "2024-12-31T23:59:59Z", "", "", "", ""};
            row.*field.field = value;
            _access_rec_t record;
            memset(&record, 0x5A, sizeof record);
            std::string error;
            const bool made = make_access_record(row, &record, &error) == 0;
            if (made) {
                EXPECT_EQ(record.reserved[0] | record.reserved[1], 0);
            }
            verdicts += std::string(field.name) + " " + quoted_excerpt(value) + ": " +
                        (made ? "accepted" : error) + "\n";
        }
    }
    EXPECT_TRUE(matches_golden("tools/golden/access-entries.txt", verdicts));
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

// Whether a pattern hides a later one, against the service's own matcher
// over every number of up to four characters.
TEST(PatternIndex, CoveringAgreesWithTheServiceMatcher) {
    std::vector<std::string> patterns, numbers = {""};
    for (size_t i = 0; i < numbers.size() && numbers[i].size() < 4; ++i) {
        for (char c : {'A', 'B', '1', '?'})
            numbers.push_back(numbers[i] + c);
    }
    for (const std::string& number : numbers) {
        if (!number.empty() && number.size() <= 3 && number.find('B') == std::string::npos)
            patterns.push_back(number);
    }
    auto matches = [](const std::string& pattern, const std::string& number) {
        char padded[13] = {};
        memcpy(padded, number.data(), number.size());
        return car_number_cmp(pattern.c_str(), padded) == 1;
    };
    for (const std::string& earlier : patterns) {
        PatternIndex index;
        index_pattern(&index, earlier, 0);
        for (const std::string& later : patterns) {
            if (later == earlier)
                continue;
            bool hidden = true;
            for (const std::string& number : numbers)
                hidden = hidden && (!matches(later, number) || matches(earlier, number));
            std::string covering;
            EXPECT_EQ(covering_pattern(index, later, &covering) == 0, hidden)
                << earlier << " before " << later;
        }
    }
}
