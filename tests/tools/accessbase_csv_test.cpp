#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "tools/accessbase/access_edit.h"
#include "tools/accessbase/csv.h"
#include "tools/accessbase/pattern_index.h"

namespace {

const std::string HEADER = "number,from,to,owner,places,max_time,text\n";
const std::string ALWAYS = ",2024-01-01T00:00:00Z,2024-12-31T23:59:59Z,";

} // namespace

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

// Owner and text are kept in CP1251 where the service reads them, and come
// back out as the same UTF-8.
TEST(AccessCsv, ImportStoresCp1251AndExportGivesTheSameText) {
    const std::string csv = HEADER + "A???BC77" + ALWAYS + "Иванов,2,1:30,\"Гость, въезд}\"\n" +
                            "A1" + ALWAYS + ",,,\n" + "K1??" + ALWAYS +
                            "ООО Ромашка,,0:45,Ёлка №5\n";
    std::vector<_access_rec_t> records;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_EQ(import_access_csv(csv, &records, &notes, &error), 0) << error;
    EXPECT_EQ(notes, std::vector<std::string>());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_STREQ(records[0].number, "A???BC77");
    EXPECT_EQ(records[0].period_from, 1704067200);
    EXPECT_EQ(records[0].period_to, 1735689599);
    EXPECT_STREQ(records[0].info, "\xC8\xE2\xE0\xED\xEE\xE2,2,1:30");
    EXPECT_STREQ(records[0].text, "\xC3\xEE\xF1\xF2\xFC, \xE2\xFA\xE5\xE7\xE4}");
    EXPECT_EQ(export_access_csv(records), csv);
}

TEST(AccessCsv, AnyBadLineRefusesTheWholeImportAndNamesTheLine) {
    std::vector<_access_rec_t> records(2);
    std::vector<std::string> notes;
    std::string error;
    const std::string csv[] = {
        HEADER + "A1" + ALWAYS + ",,,\nTOOLONGPATTERN" + ALWAYS + ",,,\n",
        "A1" + ALWAYS + ",,,\nA1,2024-01-01T00:00:00Z\n",
        "A1" + ALWAYS + ",,,\nA1" + ALWAYS + ",,,\n", // no header: it is optional
    };
    const char* expected[] = {"line 3: ", "line 2: 7 columns expected, found 2",
                              "line 2: the number pattern \"A1\" is already listed"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(import_access_csv(csv[i], &records, &notes, &error), 0);
        EXPECT_EQ(error.find(expected[i]), 0u) << error;
    }
    EXPECT_EQ(records.size(), 2u); // untouched
}

// A record another program filled to the last byte of every field: the
// export reads each field within its width and never past it.
TEST(AccessCsv, ExportReadsUnterminatedFieldsWithinTheirBytes) {
    _access_rec_t record;
    memset(&record, 0, sizeof record);
    memcpy(record.number, "ABCDEFGHIJ", 10);
    record.period_from = 0x41414141;
    memset(record.info, 'I', sizeof record.info);
    memset(record.text, '\xC0', sizeof record.text);
    std::string text;
    for (int i = 0; i < 64; ++i)
        text += "А";
    const std::string csv = export_access_csv({record});
    EXPECT_NE(csv.find("\nABCDEFGHIJ,2004-"), std::string::npos);
    EXPECT_NE(csv.find("," + std::string(31, 'I') + ",,," + text + "\n"), std::string::npos);
}

// Operators type patterns in lower case or on a Russian keyboard; the engine
// reads Latin capitals. Entries the service could never use as meant are
// named with their line. The lines here end in CR alone.
TEST(AccessCsv, ImportFoldsPatternsAndWarnsOfEntriesTheServiceMishandles) {
    const std::string csv = "а123вс77" + ALWAYS + ",,,\r" + "k1??" + ALWAYS + ",,,\r" + "K12" +
                            ALWAYS + ",,,\r" + "B7" + ALWAYS + ",3,,\r" + "C5" + ALWAYS +
                            "Петров,0,,\r";
    std::vector<_access_rec_t> records;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_EQ(import_access_csv(csv, &records, &notes, &error), 0) << error;
    ASSERT_EQ(records.size(), 5u);
    EXPECT_STREQ(records[0].number, "A123BC77");
    EXPECT_STREQ(records[1].number, "K1??");
    EXPECT_EQ(notes,
              (std::vector<std::string>{
                  "line 1: the number pattern \"а123вс77\" is taken as \"A123BC77\" (а→A, в→B, "
                  "с→C)",
                  "line 2: the number pattern \"k1??\" is taken as \"K1??\" (k→K)",
                  "line 3: the number pattern \"K12\" is never used: the earlier pattern \"K1??\" "
                  "matches every number it matches, and the first match counts",
                  "line 4: places \"3\" of \"B7\" are never counted: places are counted per "
                  "owner, and it has none"}));
    EXPECT_NE(import_access_csv("K1??" + ALWAYS + ",,,\nk1??" + ALWAYS + ",,,\n", &records, &notes,
                                &error),
              0);
    EXPECT_EQ(error, "line 2: the number pattern \"K1??\" is already listed");
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
