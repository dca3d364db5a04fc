#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/parking_rec.h"
#include "tests/common/fixed_field.h"
#include "tests/tools/tool_run.h"
#include "tools/journal-reader/reader_cli.h"

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

class JournalReader : public ToolTest {
  protected:
    JournalReader() : ToolTest(journal_reader_main, "journal-reader", {"journal-reader"}) {}
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
    run(path);
    run("--csv --view inside " + path);
    EXPECT_TRUE(runs_match("journal-occupancy.txt"));
}

// The record and the text line of one decision give the same row. The
// line's ';' inside the info text splits it into an extra column, which is
// joined back; CSV output quotes what needs quoting. An archive record is
// filed under the folder it lies in and names its snapshot as the archive
// does (UTC, wildcards as "-"); its line writes an admitted exit as 255,
// shown as -1 like the record's. A control byte is shown escaped.
TEST_F(JournalReader, RecordsAndTextLinesOfAPassageShowTheSameRow) {
    _netpass_rec_t pass = passage(T0, "A123BC77", -1);
    snprintf(pass.info, sizeof pass.info, "%s;\"2\",1:30", IVANOV);
    const std::string pass_lines =
        file("netpassbase.csv", "14-03-2009;08:05:09;A123BC77;2;1;-1;" + std::string(ALLOWED) +
                                    ";" + IVANOV + ";\"2\",1:30;0;gate-1\n");
    run("--csv " + file("netpassbase.tpn", bytes_of(pass)));
    const std::string from_record = runs_.out;
    run("--csv " + pass_lines);
    EXPECT_EQ(runs_.out, from_record);
    run(pass_lines);

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
    run(file("dev7/passbase.tpp", bytes_of(rec)));
    run("--csv " +
        file("passbase.csv", "14-03-2009;08:05:09;dev7;A?23BC;1;255;" + std::string(64, '\xE0') +
                                 ";" + IVANOV + ": x (0-1);2009-03-14_06-05-09_A-23BC.jpeg\n"));
    EXPECT_TRUE(runs_match("journal-passes.txt"));
}

TEST_F(JournalReader, FiltersByNumberPatternAndInclusiveTimes) {
    const std::string path =
        file("netpassbase.tpn", bytes_of(passage(T0, "A123BC77", 1)) +
                                    bytes_of(passage(T0 + 60, "A124BC77", 0)) +
                                    bytes_of(passage(T0 + 86400, "K?55KK", 1)));
    for (const char* options : {
             "-n A123BC77",
             "-n a12?bc77",                       // either case, any one character
             "-n A12?BC",                         // the whole number, not a prefix
             "-n K?55KK",                         // the journal's own "?" matched
             "-n K555KK",                         // ...only by a "?" of the pattern
             "--from 2009-03-14T06:06:09Z",       // zone given: inclusive
             "--from 2009-03-14T08:06:10",        // local time
             "--to 1237010769",                   // epoch, inclusive
             "--from 2009-03-14 --to 2009-03-14", // a whole local day
             "--from 2009-03-15T00:00+02:00 -n K?55KK",
             "--from 14.03.2009",
             "--from 1237010770 --to 1237010769",
         })
        run(std::string(options) + " " + path);
    EXPECT_TRUE(runs_match("journal-filters.txt"));
}

// Whatever is whole before a fault is still shown; the fault is told with
// its offset and the exit status says the file is not whole.
TEST_F(JournalReader, DamagedAndForeignFilesAreReportedWithTheirOffsets) {
    const std::string two = bytes_of(passage(T0, "A1", 1)) + bytes_of(passage(T0 + 1, "A2", 1));
    const std::string torn = file("netpassbase-2009.tpn", two + std::string(40, 'x'));
    EXPECT_EQ(run(torn), 1);
    // Zeros where a lost write should be, and a file that is no journal.
    EXPECT_EQ(run("--view records " + file("netnumbase.tpn", bytes_of(car("A1", "", 1, T0, 0)) +
                                                                 std::string(56, '\0'))),
              1);
    EXPECT_EQ(run(file("passbase.tpp", "\xFF\xD8\xFF\xE0" + std::string(112, 'J'))), 1);
    // A broken line stands alone; a line without its end is torn.
    const std::string good = "14-03-2009;08:05:09;A1;2;1;1;m;i;0;gate\n";
    EXPECT_EQ(run(file("netpassbase.csv",
                       good + "14-03-2009;08:05:09;A2;2;1;m\n" + good + "14-03-2009;08:0")),
              1);
    // --check only verifies: silent and 0 for whole files, 1 for any fault.
    const std::string whole = file("netpassbase-whole.tpn", two);
    EXPECT_EQ(run("--check " + whole), 0);
    EXPECT_EQ(run("--check " + whole + " " + torn), 1);
    EXPECT_EQ(run("--check --kind pass " + file("copy.bin", two)), 0);
    EXPECT_EQ(run(dir_ + "/notes.txt"), 1);
    EXPECT_TRUE(runs_match("journal-damaged.txt"));
}
