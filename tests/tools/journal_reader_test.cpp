#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/parking_rec.h"
#include "tests/support/scratch_dir.h"
#include "tests/tools/record_bytes.h"
#include "tests/tools/time_zone.h"
#include "tests/tools/tool_run.h"
#include "tools/journal-reader/reader_cli.h"
#include "tests/common/fixed_field.h"

namespace {

const int32_t T0 = 1237010709; // 2009-03-14 08:05:09 in a zone two hours east

// "Иванов", "Разрешено" and "Ж" as the service stores them.
const char IVANOV[] = "\xC8\xE2\xE0\xED\xEE\xE2";
const char ALLOWED[] = "\xD0\xE0\xE7\xF0\xE5\xF8\xE5\xED\xEE";
const char ZHE = '\xC6';

_netnum_rec_t car(const char* number, const char* owner, int places, int32_t in, int32_t out) {
    _netnum_rec_t rec = {};
    put_field(rec.number, number);
    put_field(rec.owner, owner);
    rec.places = static_cast<int8_t>(places);
    rec.in_time = in;
    rec.out_time = out;
    return rec;
}

_netpass_rec_t passage(int32_t time, const char* number, int access) {
    _netpass_rec_t rec = {};
    rec.time = time;
    put_field(rec.number, number);
    rec.kind = 2;
    rec.in_list = 1;
    rec.access = static_cast<int8_t>(access);
    snprintf(rec.message, sizeof rec.message, "%s", ALLOWED);
    snprintf(rec.info, sizeof rec.info, "%s,2,1:30", IVANOV);
    snprintf(rec.deviceid, sizeof rec.deviceid, "gate-1");
    return rec;
}

class JournalReader : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_dir("journal-reader") + "/XXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
    }
    void TearDown() override {
        for (const std::string& path : written_)
            remove(path.c_str());
        rmdir((dir_ + "/dev7").c_str());
        rmdir(dir_.c_str());
    }

    std::string file(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        write_text_file(path, bytes);
        written_.push_back(path);
        return path;
    }
    int run(const std::string& line) {
        return run_tool(journal_reader_main, {"journal-reader"}, line, &out_, &err_);
    }

    std::string dir_;
    std::string out_, err_; // of the last run

  private:
    ZoneForTest zone_{"EET-2EEST,M3.5.0/3,M10.5.0/4"};
    std::vector<std::string> written_;
};

} // namespace

// Fields that fill their whole width without a terminator are read within
// it; CP1251 comes out as UTF-8 and the columns line up by characters, not
// bytes. Cars without an owner are inside but count against nobody.
TEST_F(JournalReader, OccupancyShowsWhoIsInsideThePlacesPerOwnerAndEveryRecord) {
    _netnum_rec_t full = car("", "", 1, T0 + 291, T0 - 10709);
    memset(full.number, 'X', sizeof full.number);
    memset(full.owner, ZHE, sizeof full.owner);
    const std::string path =
        file("netnumbase.tpn", bytes_of(car("A123BC77", IVANOV, 1, T0, 0)) + bytes_of(full) +
                                   bytes_of(car("K555KK", IVANOV, 0, T0 - 709, T0 - 209)) +
                                   bytes_of(car("M001MM", "", 1, T0 + 1291, 0)));
    const std::string zhe = repeated("Ж", 32);
    ASSERT_EQ(run(path), 0) << err_;
    EXPECT_EQ(
        out_,
        "Cars inside now:\n"
        "number         owner                             places  since\n"
        "A123BC77       Иванов                                 1  2009-03-14 08:05:09 EET\n"
        "XXXXXXXXXXXXX  " +
            zhe +
            "       1  2009-03-14 08:10:00 EET\n"
            "M001MM                                                1  2009-03-14 08:26:40 EET\n"
            "3 cars inside\n"
            "\n"
            "Places held per owner:\n"
            "owner                             places  cars\n" +
            zhe +
            "       1     1\n"
            "Иванов                                 1     1\n"
            "2 owners\n"
            "\n"
            "All records:\n"
            "number         owner                             places  in_time                  "
            "out_time\n"
            "A123BC77       Иванов                                 1  2009-03-14 08:05:09 EET\n"
            "XXXXXXXXXXXXX  " +
            zhe +
            "       1  2009-03-14 08:10:00 EET  2009-03-14 05:06:40 EET\n"
            "K555KK         Иванов                                 0  2009-03-14 07:53:20 EET  "
            "2009-03-14 08:01:40 EET\n"
            "M001MM                                                1  2009-03-14 08:26:40 EET\n"
            "4 records\n");
    ASSERT_EQ(run("--csv --view inside " + path), 0);
    EXPECT_EQ(out_, "number,owner,places,since\n"
                    "A123BC77,Иванов,1,2009-03-14 08:05:09 +0200\n"
                    "XXXXXXXXXXXXX," +
                        zhe +
                        ",1,2009-03-14 08:10:00 +0200\n"
                        "M001MM,,1,2009-03-14 08:26:40 +0200\n");
}

// The record and the text line of one decision give the same row. The
// line's ';' inside the info text splits it into an extra column, which is
// joined back; CSV output quotes what needs quoting.
TEST_F(JournalReader, PassJournalRecordAndTextLineShowTheSamePassage) {
    _netpass_rec_t rec = passage(T0, "A123BC77", -1);
    snprintf(rec.info, sizeof rec.info, "%s;\"2\",1:30", IVANOV);
    const std::string records = file("netpassbase.tpn", bytes_of(rec));
    const std::string lines =
        file("netpassbase.csv", "14-03-2009;08:05:09;A123BC77;2;1;-1;" + std::string(ALLOWED) +
                                    ";" + IVANOV + ";\"2\",1:30;0;gate-1\n");
    const std::string expected = "time,number,kind,in_list,access,message,info,by_button,deviceid\n"
                                 "2009-03-14 08:05:09 +0200,A123BC77,2,1,-1,Разрешено,"
                                 "\"Иванов;\"\"2\"\",1:30\",0,gate-1\n";
    ASSERT_EQ(run("--csv " + records), 0) << err_;
    EXPECT_EQ(out_, expected);
    ASSERT_EQ(run("--csv " + lines), 0) << err_;
    EXPECT_EQ(out_, expected);
    ASSERT_EQ(run(lines), 0);
    EXPECT_EQ(out_, "time                     number    kind  in_list  access  message    info"
                    "             by_button  deviceid\n"
                    "2009-03-14 08:05:09 EET  A123BC77     2        1      -1  Разрешено  "
                    "Иванов;\"2\",1:30          0  gate-1\n"
                    "1 passage\n");
}

// An archive record is filed under the folder it lies in and names its
// snapshot as the archive does (UTC, wildcards as "-"); its line writes an
// admitted exit as 255, shown as -1 like the record's. A control byte of a
// text is shown escaped in a table, never sent to the terminal.
TEST_F(JournalReader, ArchiveRecordAndLineNameDeviceAndSnapshot) {
    _parking_rec_t rec = {};
    rec.time = T0;
    put_field(rec.number, "A?23BC");
    rec.kind = 3;
    rec.in_list = 1;
    rec.access = -1;
    memset(rec.text, '\xE0', sizeof rec.text); // 64 letters, no terminator
    rec.text[1] = '\x1B';
    snprintf(rec.summary, sizeof rec.summary, "%s: x (0-1)", IVANOV);
    mkdir((dir_ + "/dev7").c_str(), 0700);
    const std::string records = file("dev7/passbase.tpp", bytes_of(rec));
    const std::string text = "а\\x1B" + repeated("а", 62);
    ASSERT_EQ(run(records), 0) << err_;
    EXPECT_NE(out_.find("dev7      A?23BC     3        1      -1  " + text +
                        "  Иванов: x (0-1)  2009-03-14_06-05-09_A-23BC.jpeg\n"),
              std::string::npos)
        << out_;
    const std::string lines =
        file("passbase.csv", "14-03-2009;08:05:09;dev7;A?23BC;1;255;" + std::string(64, '\xE0') +
                                 ";" + IVANOV + ": x (0-1);2009-03-14_06-05-09_A-23BC.jpeg\n");
    ASSERT_EQ(run("--csv " + lines), 0) << err_;
    EXPECT_EQ(out_, "time,deviceid,number,kind,in_list,access,text,summary,jpeg\n"
                    "2009-03-14 08:05:09 +0200,dev7,A?23BC,,1,-1," +
                        repeated("а", 64) + ",Иванов: x (0-1),2009-03-14_06-05-09_A-23BC.jpeg\n");
}

TEST_F(JournalReader, FiltersByNumberPatternAndInclusiveTimes) {
    const std::string path =
        file("netpassbase.tpn", bytes_of(passage(T0, "A123BC77", 1)) +
                                    bytes_of(passage(T0 + 60, "A124BC77", 0)) +
                                    bytes_of(passage(T0 + 86400, "K?55KK", 1)));
    const struct {
        const char* options;
        const char* shown;
    } cases[] = {
        {"-n A123BC77", "1 passage"},
        {"-n a12?bc77", "2 passages"},                       // either case, any one character
        {"-n A12?BC", "0 passages"},                         // the whole number, not a prefix
        {"-n K?55KK", "1 passage"},                          // the journal's own "?" matched
        {"-n K555KK", "0 passages"},                         // ...only by a "?" of the pattern
        {"--from 2009-03-14T06:06:09Z", "2 passages"},       // zone given: inclusive
        {"--from 2009-03-14T08:06:10", "1 passage"},         // local time
        {"--to 1237010769", "2 passages"},                   // epoch, inclusive
        {"--from 2009-03-14 --to 2009-03-14", "2 passages"}, // a whole local day
        {"--from 2009-03-15T00:00+02:00 -n K?55KK", "1 passage"},
    };
    for (const auto& each : cases) {
        ASSERT_EQ(run(std::string(each.options) + " " + path), 0) << each.options << err_;
        EXPECT_NE(out_.find(std::string("\n") + each.shown + "\n"), std::string::npos)
            << each.options << "\n"
            << out_;
    }
    EXPECT_EQ(run("--from 14.03.2009 " + path), 2);
    EXPECT_NE(err_.find("\"14.03.2009\" is not a time"), std::string::npos) << err_;
    EXPECT_EQ(run("--from 1237010770 --to 1237010769 " + path), 2);
}

// Whatever is whole before a fault is still shown; the fault is told with
// its offset and the exit status says the file is not whole.
TEST_F(JournalReader, DamagedAndForeignFilesAreReportedWithTheirOffsets) {
    const std::string two = bytes_of(passage(T0, "A1", 1)) + bytes_of(passage(T0 + 1, "A2", 1));
    const std::string torn = file("netpassbase-2009.tpn", two + std::string(40, 'x'));
    EXPECT_EQ(run(torn), 1);
    EXPECT_NE(out_.find("\n2 passages\n"), std::string::npos) << out_;
    EXPECT_EQ(err_,
              "journal-reader: " + torn + ": 40 bytes at offset 368 are not a whole record\n");

    // Zeros where a lost write should be, and a file that is no journal.
    const std::string zeroed =
        file("netnumbase.tpn", bytes_of(car("A1", "", 1, T0, 0)) + std::string(56, '\0'));
    EXPECT_EQ(run("--view records " + zeroed), 1);
    EXPECT_NE(out_.find("\n1 record\n"), std::string::npos) << out_;
    EXPECT_NE(err_.find("the record at offset 56 is not an occupancy record (all zero bytes)"),
              std::string::npos)
        << err_;
    const std::string jpeg = file("passbase.tpp", "\xFF\xD8\xFF\xE0" + std::string(112, 'J'));
    EXPECT_EQ(run(jpeg), 1);
    EXPECT_NE(err_.find(": the record at offset 0 is not an archive record (in_list is 74)"),
              std::string::npos)
        << err_;

    // A broken line stands alone; a line without its end is torn.
    const std::string good = "14-03-2009;08:05:09;A1;2;1;1;m;i;0;gate\n";
    const std::string lines =
        file("netpassbase.csv", good + "14-03-2009;08:05:09;A2;2;1;m\n" + good + "14-03-2009;08:0");
    EXPECT_EQ(run(lines), 1);
    EXPECT_NE(out_.find("\n2 passages\n"), std::string::npos) << out_;
    EXPECT_EQ(err_, "journal-reader: " + lines +
                        ": line 2 at offset 40 is not a pass journal line: 6 columns, at least "
                        "10 expected\n"
                        "journal-reader: " +
                        lines + ": 15 bytes at offset 109 are not a whole line\n");

    // --check only verifies: silent and 0 for whole files, 1 for any fault.
    const std::string whole = file("netpassbase-whole.tpn", two);
    EXPECT_EQ(run("--check " + whole), 0);
    EXPECT_EQ(out_ + err_, "");
    EXPECT_EQ(run("--check " + whole + " " + torn), 1);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(run("--check --kind pass " + file("copy.bin", two)), 0);
    EXPECT_EQ(run(dir_ + "/notes.txt"), 1);
    EXPECT_NE(err_.find("can't tell the journal from the name"), std::string::npos) << err_;
}

// A full disk must not pass for a complete listing.
TEST_F(JournalReader, OutputThatCannotBeWrittenFails) {
    const std::string path = file("netpassbase.tpn", bytes_of(passage(T0, "A1", 1)));
    for (const char* csv : {"", "--csv"}) {
        std::vector<std::string> words = {"journal-reader", path};
        if (csv[0] != '\0')
            words.push_back(csv);
        std::vector<char*> argv = argv_of(words);
        FILE* full = fopen("/dev/full", "w");
        ASSERT_NE(full, nullptr);
        StreamCapture err;
        EXPECT_EQ(
            journal_reader_main(static_cast<int>(words.size()), argv.data(), full, err.stream), 1);
        fclose(full);
        EXPECT_NE(err.text().find("can't write the output: No space left on device"),
                  std::string::npos);
    }
}
