#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "tools/accessbase/csv.h"
#include "tools/accessbase/pattern_index.h"

TEST(Csv, QuotedFieldsLineEndsAndByteOrderMark) {
    const std::vector<std::string> fields = {"with,comma", "\"quoted\"", " padded ", "", "a\nb"};
    std::vector<CsvRow> rows;
    std::string error;
    ASSERT_EQ(parse_csv("\xEF\xBB\xBF"
                        "a,b\r\n\r\n" +
                            csv_line(fields) + "y,",
                        &rows, &error),
              0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].fields, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rows[1].line, 3);
    EXPECT_EQ(rows[1].fields, fields);
    EXPECT_EQ(rows[2].line, 5);
    EXPECT_EQ(rows[2].fields, (std::vector<std::string>{"y", ""}));

    EXPECT_NE(parse_csv("a,\"open\n", &rows, &error), 0);
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_NE(parse_csv("ok\n\"a\"b,c\n", &rows, &error), 0);
    EXPECT_NE(error.find("line 2"), std::string::npos);
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
