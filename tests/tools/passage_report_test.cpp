#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/car_park.h"
#include "tests/tools/time_zone.h"
#include "tests/tools/tool_run.h"
#include "tools/journal-reader/journal_files.h"
#include "tools/journal-reader/reader_cli.h"

namespace {

const int32_t T0 = 1237010709;    // 2009-03-14 08:05:09 in a zone two hours east
const int32_t LATE = 1237069800;  // 2009-03-14 22:30:00 UTC, 00:30 the next day there
const char OK[] = "\xD0\xE0\xE7"; // "Раз" in CP1251

// The page's passage rows, one a line.
std::vector<std::string> passage_rows(const std::string& page) {
    std::vector<std::string> rows;
    for (size_t at = 0; (at = page.find("<tr class=\"passage\"", at)) != std::string::npos;) {
        const size_t end = page.find('\n', at);
        rows.push_back(page.substr(at, end - at));
        at = end;
    }
    return rows;
}

class PassageReport : public ::testing::Test {
  protected:
    PassageReport() { mkdir((root_ + "/report").c_str(), 0700); }

    int run(std::vector<std::string> words) {
        words.insert(words.begin(), "journal-reader");
        return run_tool(journal_reader_main, words, "", &out_, &err_);
    }

    ZoneForTest zone_{"EET-2EEST,M3.5.0/3,M10.5.0/4"};
    const std::string root_ = empty_scratch_dir("passage-report");
    const std::string page_ = root_ + "/report/passages.html";
    const CarPark park_{root_};
    const std::string pass_ = park_.net() + "/netpassbase.tpn";
    std::string out_, err_; // of the last run
};

// Neither the pass journal nor the archive names the other's record: a
// passage is found in its board's archive by its time and number, also when
// the same car passes two boards within one second, and a car seen twice
// within one second takes the two archive records in turn. A board's name is
// a part of the link's path and is encoded as one; texts from the access base
// stay text; days are the zone's.
TEST_F(PassageReport, PassagesFindTheirArchiveRecordsByBoardTimeAndNumber) {
    park_.add_board("gate-in");
    park_.add_board("gate #2");
    park_.record({T0, "A1", "gate-in", 1, 1, 0, OK, "first", true});
    park_.record({T0, "A1", "gate #2", 1, -1, 0, OK, "other board", true});
    park_.record({T0, "A1", "gate-in", 1, 1, 0, OK, "second", true});
    park_.record({T0 + 1, "B2", "gate-in", 0, 0, 0, OK, "", false});
    park_.record({T0 + 2, "C3", "gate-in", 1, 1, 0, "<script>\"x\"</script>",
                  cp1251("Иванов\x01 & сын"), true});
    // The archive keeps an empty file where the encoder made no JPEG.
    truncate((park_.archive("gate-in") + "/jpegdata/2009-03-14_06-05-11_C3.jpeg").c_str(), 0);
    park_.record({LATE, "D4", "gate-in", 0, 0, 0, OK, "", true});

    ASSERT_EQ(run({"--report", page_, "--pass", pass_, "--archive", park_.archive("gate-in"),
                   "--archive", park_.archive("gate #2")}),
              0)
        << err_;
    EXPECT_EQ(out_, page_ + ": 6 passages, 4 with a snapshot\n");
    const std::string page = read_text_file(page_);
    const std::vector<std::string> rows = passage_rows(page);
    ASSERT_EQ(rows.size(), 6u) << page;
    const char* expected[] = {
        "<td>first</td><td><a href=\"../storage/gate-in/jpegdata/2009-03-14_06-05-09_A1.jpeg\">",
        "<td>other board</td><td><a href=\"../storage/gate%20%232/jpegdata/"
        "2009-03-14_06-05-09_A1.jpeg\">",
        "<td>second</td><td><a href=\"../storage/gate-in/jpegdata/2009-03-14_06-05-09_A1.jpeg\">",
        "<td class=\"none\">not archived</td>",
        "<td>&lt;script&gt;&quot;x&quot;&lt;/script&gt;</td><td>Иванов\xEF\xBF\xBD &amp; "
        "сын</td><td class=\"none\">no snapshot</td>",
        "data-day=\"2009-03-15\"",
    };
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_NE(rows[i].find(expected[i]), std::string::npos) << rows[i];
    EXPECT_NE(page.find("<tr><td>2009-03-14</td><td class=\"count\">5</td><td class=\"count\">4"
                        "</td><td class=\"count\">1</td></tr>\n"
                        "<tr><td>2009-03-15</td><td class=\"count\">1</td><td class=\"count\">0"
                        "</td><td class=\"count\">1</td></tr>\n"),
              std::string::npos)
        << page;
}

// A run that fails leaves the page as it was; one that meets a torn journal
// still makes the page of what is whole, and says so.
TEST_F(PassageReport, FailuresLeaveAnEarlierPageAndTornJournalsAreTold) {
    park_.add_board("gate-in");
    park_.record({T0, "A1", "gate-in", 1, 1, 0, OK, "", true});
    park_.record({T0 + 60, "B2", "gate-in", 1, 1, 0, OK, "", true});
    write_text_file(page_, "earlier");
    const struct {
        std::vector<std::string> words;
        int status;
        std::string told;
    } cases[] = {
        {{"--report", page_}, 2, "--report needs the pass journal (--pass)"},
        {{"--pass", pass_}, 2, "--pass, --archive and --occupancy are for --report"},
        {{"--report", page_, "--pass", pass_, pass_}, 2, "no FILE"},
        {{"--report", page_, "--pass", pass_, "--csv"}, 2, "takes no"},
        {{"--report", page_, "--pass", root_ + "/none.tpn"}, 1, "can't open " + root_},
        {{"--report", page_, "--pass", pass_, "-a", root_ + "/none"}, 1, "can't open the archive"},
        {{"--report", root_ + "/none/p.html", "--pass", pass_}, 1, "can't write " + root_},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(run(each.words), each.status) << each.told;
        EXPECT_NE(err_.find(each.told), std::string::npos) << err_;
        EXPECT_EQ(read_text_file(page_), "earlier") << each.told;
        EXPECT_NE(access((page_ + ".tmp").c_str(), F_OK), 0);
    }

    write_text_file(pass_, read_text_file(pass_) + std::string(40, 'x'));
    EXPECT_EQ(
        run({"--report", page_, "--pass", pass_, "--number", "b?", "-a", park_.archive("gate-in")}),
        1);
    EXPECT_EQ(out_, page_ + ": 1 passage, 1 with a snapshot\n");
    EXPECT_NE(err_.find(": 40 bytes at offset 368 are not a whole record"), std::string::npos)
        << err_;
    EXPECT_EQ(passage_rows(read_text_file(page_)).size(), 1u);
}

TEST(RelativePath, LeadsFromOneFolderToAnotherByWholeParts) {
    const struct {
        const char* from;
        const char* to;
        const char* path;
    } cases[] = {
        {"/srv/report", "/srv/dev7/jpegdata", "../dev7/jpegdata"},
        {"/srv", "/srv/dev7", "dev7"},
        {"/srv/a/b", "/srv", "../.."},
        {"/srv", "/srv", "."},
        {"/", "/mnt/usb", "mnt/usb"},
        {"/mnt/usb", "/", "../.."},
        {"/srv/dev", "/srv/dev7", "../dev7"}, // a shared beginning is no shared folder
    };
    for (const auto& each : cases)
        EXPECT_EQ(relative_path(each.from, each.to), each.path) << each.from << " " << each.to;
}

} // namespace
