// The journal reader's page of passages over a car park's files.
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/car_park.h"
#include "tests/tools/tool_run.h"
#include "tools/journal-reader/reader_cli.h"
#include "tools/journal-reader/report_assets.h"

namespace {

const int32_t T0 = 1237010709;    // 2009-03-14 08:05:09 in a zone two hours east
const int32_t LATE = 1237069800;  // 2009-03-14 22:30:00 UTC, 00:30 the next day there
const char OK[] = "\xD0\xE0\xE7"; // "Раз" in CP1251

// The first group of each match of `pattern` in `text`.
std::vector<std::string> found(const std::string& text, const char* pattern) {
    std::vector<std::string> all;
    const std::regex match(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), match), end; it != end; ++it)
        all.push_back((*it)[1]);
    return all;
}

// The file a link of the page leads to: `href` with the page's encodings
// of the boards' names undone, from the page's folder.
std::string linked_file(const std::string& folder, const std::string& href) {
    return folder + "/" + replaced(replaced(href, "%20", " "), "%23", "#");
}

class PassageReport : public ToolTest {
  protected:
    PassageReport() : ToolTest(journal_reader_main, "passage-report", {"journal-reader"}) {
        mkdir((dir_ + "/stor").c_str(), 0700);
        park_.add_board("gate-in");
    }

    // The page's folder begins as the storage's does, but is no part of it.
    const std::string page_ = dir_ + "/stor/passages.html";
    const CarPark park_{dir_};
};

} // namespace

// Neither the pass journal nor the archive names the other's record: a
// passage is found in its board's archive by its time and number, also when
// the same car passes two boards within one second, and a car seen twice
// within one second takes the two archive records in turn. A board's name is
// a part of the link's path and is encoded as one; texts from the access base
// stay text; days are the zone's. A JPEG gone that is older than the
// archive's oldest was removed by the archive keeper, and is told so.
TEST_F(PassageReport, PassagesFindTheirArchiveRecordsByBoardTimeAndNumber) {
    park_.add_board("gate #2");
    park_.record({T0, "A1", "gate-in", 1, 1, OK, "first", true});
    park_.record({T0, "A1", "gate #2", 1, -1, OK, "other board", true});
    park_.record({T0, "A1", "gate-in", 1, 1, OK, "second", true});
    park_.record({T0 + 1, "B2", "gate-in", 0, 0, OK, "", false});
    park_.record({T0 + 2, "C3", "gate-in", 1, 1, "<script>\"x\"</script>",
                  cp1251("Иванов\x01 & сын"), true});
    // The archive keeps an empty file where the encoder made no JPEG.
    truncate((park_.archive("gate-in") + "/jpegdata/2009-03-14_06-05-11_C3.jpeg").c_str(), 0);
    park_.record({LATE, "D4", "gate-in", 0, 0, OK, "", true});
    // The archive keeper removed the oldest snapshot.
    park_.record({T0 - 86400, "E5", "gate-in", 0, 0, OK, "", true});
    unlink((park_.archive("gate-in") + "/jpegdata/2009-03-13_06-05-09_E5.jpeg").c_str());
    ASSERT_EQ(run_words({"--report", page_, "--pass", park_.net() + "/netpassbase.tpn", "--archive",
                         park_.archive("gate-in"), "--archive", park_.archive("gate #2"),
                         "--occupancy", park_.occupancy({netnum_record("D4", "", 1, LATE)})}),
              0)
        << err_;
    EXPECT_EQ(out_, page_ + ": 7 passages, 4 with a snapshot\n");
    const std::string page = read_text_file(page_);
    // The style and the script are the tool's own constants, shown by name:
    // the expected page holds what this journal made of it.
    EXPECT_TRUE(matches_golden(
        "tools/golden/passages.html",
        replaced(replaced(page, REPORT_STYLE, "REPORT_STYLE"), REPORT_SCRIPT, "REPORT_SCRIPT")));
    // Each snapshot a browser would show: every link of a passage row leads
    // to the JPEG the archive holds.
    const std::vector<std::string> links =
        found(page, "<tr class=\"passage\".*<a href=\"([^\"]*)\"");
    for (const std::string& link : links) {
        const std::string jpeg = read_text_file(linked_file(dir_ + "/stor", link));
        EXPECT_EQ(jpeg.size(), park_.jpeg_size()) << link;
        EXPECT_EQ(jpeg.compare(0, 2, "\xFF\xD8"), 0) << link;
    }
    EXPECT_EQ(links.size(), 4u);
}

// A run that fails leaves the page as it was; one that meets a torn journal
// still makes the page of what is whole, and says so; one that meets a
// zeroed block reads on and counts its records at the top of the page. The
// page never replaces a journal it reads, nor a device.
TEST_F(PassageReport, FailuresLeaveAnEarlierPageAndTornJournalsAreTold) {
    park_.record({T0, "A1", "gate-in", 1, 1, OK, "", true});
    park_.record({T0 + 60, "B2", "gate-in", 1, 1, OK, "", true});
    const std::string pass = read_text_file(park_.net() + "/netpassbase.tpn");
    write_text_file(park_.net() + "/netpassbase-torn.tpn", pass + std::string(40, 'x'));
    write_text_file(park_.net() + "/netpassbase-zeroed.tpn",
                    pass.substr(0, 184) + std::string(2 * 184, '\0') + pass.substr(184));
    write_text_file(page_, "earlier");
    EXPECT_TRUE(script_matches("passage-report-failures.txt"));
    EXPECT_EQ(read_text_file(page_), "earlier");
    EXPECT_FALSE(exists(page_ + ".tmp"));
    EXPECT_EQ(found(read_text_file(dir_ + "/stor/torn.html"), "(<tr class=\"passage\")").size(),
              1u);
    const std::string zeroed = read_text_file(dir_ + "/stor/zeroed.html");
    EXPECT_EQ(found(zeroed, "<h1>Passages</h1>\n<section id=\"damage\">\n<h2>([^<]*)</h2>"),
              std::vector<std::string>{"2 damaged records skipped: the journals are not whole"});
    EXPECT_EQ(found(zeroed, "(<tr class=\"passage\")").size(), 2u);
}
