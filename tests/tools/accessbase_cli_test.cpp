// The editor's command lines; what it writes is in tests/tools/golden/.
#include <csignal>
#include <cstring>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "tests/tools/accessbase_fixture.h"

namespace {

const std::string ROW = ",2024-01-01T00:00:00Z,2024-12-31T23:59:59Z,";

volatile sig_atomic_t usr1_seen;
void note_usr1(int) {
    usr1_seen = 1;
}

} // namespace

// Refused changes leave the file as it was; a CSV export imports back to
// the same bytes. (That the service loads what the editor imported, the
// simulated boards show.)
TEST_F(AccessBaseTool, EditsRefusalsAndCsvRoundTrip) {
    for (const char* line :
         {"create", "create", "add A123BC --owner Иванов --places 2 --text Гость}",
          "add B7?? --to 2024-06-30T23:59:59+03:00 --max-time 2:15", "add C1", "remove C1"})
        run(line);
    const std::string before = read_text_file(file_);
    for (const std::string& refused :
         {std::string("add ABCDEFGHIJ"), "add D1 --places 1 --owner " + std::string(29, 'x') + "Ж",
          "add D1 --text " + std::string(63, 'x') + "Ж", std::string("add D1 --owner Müller"),
          std::string("add B7??"), std::string("remove C1")})
        EXPECT_EQ(run(refused), 1) << refused;
    EXPECT_EQ(read_text_file(file_), before);
    run("list");
    run("export " + dir_ + "/export.csv");
    run("create --force");
    run("import " + dir_ + "/export.csv");
    EXPECT_EQ(read_text_file(file_), before);
    runs_.text += read_text_file(dir_ + "/export.csv");
    EXPECT_TRUE(runs_match("accessbase-edits.txt"));
}

// Operators type patterns in lower case or on a Russian keyboard; the engine
// reads Latin capitals. Entries the service could never use as meant are
// named with their line; a bad line refuses the whole import. Fields another
// program filled to their last byte, or with control bytes, are shown
// within their width and escaped.
TEST_F(AccessBaseTool, ImportFoldsWarnsOrRefusesAndForeignRecordsAreShownSafely) {
    const std::string csv = dir_ + "/import.csv";
    write_text_file(csv, "\xEF\xBB\xBF"
                         "а123вс77" +
                             ROW + "Иванов,2,1:30,\"Гость, въезд}\"\r" + "k1??" + ROW +
                             ",,0:45,Ёлка №5\r" + "K12" + ROW + ",,,\r" + "B7" + ROW +
                             ",3,,\r\n\r\n" + "C5" + ROW + "Петров,0,,\r");
    run("create");
    run("import " + csv);
    run("list");
    const std::string before = read_text_file(file_);
    EXPECT_NE(before.find("\xC8\xE2\xE0\xED\xEE\xE2,2,1:30"), std::string::npos)
        << "the owner is kept in CP1251, where the service reads it";
    for (const std::string& bad :
         {"number,from,to,owner,places,max_time,text\nA1" + ROW + ",,,\nTOOLONGPATTERN" + ROW +
              ",,,\n",
          "A1" + ROW + ",,,\nA1,2024-01-01T00:00:00Z\n", "K1??" + ROW + ",,,\nk1??" + ROW + ",,,\n",
          "A1" + ROW + std::string("x\0y", 3) + ",,,\n",
          "A1" + ROW + ",,\"x\ny\"\r\n\r\n\"a\"b,c\n", "A1" + ROW + ",,,\"open\n"}) {
        write_text_file(csv, bad);
        EXPECT_EQ(run("import " + csv), 1) << bad;
    }
    EXPECT_EQ(read_text_file(file_), before);

    _access_rec_t record;
    memset(&record, 0, sizeof record);
    memcpy(record.number, "A\x1B[2JGHIJ", 10);
    record.period_from = 0x41414141;
    memset(record.info, 'I', sizeof record.info);
    memset(record.text, '\xC0', sizeof record.text);
    memcpy(record.text, "bell\x07\"", 6);
    write_text_file(file_, std::string(reinterpret_cast<const char*>(&record), sizeof record));
    run("list");
    run("export");
    EXPECT_TRUE(runs_match("accessbase-import.txt"));
}

TEST_F(AccessBaseTool, BadCommandLinesExplainThemselves) {
    for (const char* line :
         {"", "frobnicate", "add", "list extra", "list --owner X", "--bogus list", "list --notify",
          "create --notify -1", "list --notify 1", "list --notify 12x", "list --notify 99999999999",
          "list --notify 12 --pid-file dravel.pid", "list", "--help"})
        run(line);
    EXPECT_NE(access(file_.c_str(), F_OK), 0) << "a bad command line created the base";
    EXPECT_TRUE(runs_match("accessbase-command-line.txt"));
}

TEST_F(AccessBaseTool, NotifiesTheServiceOnlyAfterAChange) {
    const sighandler_t previous = signal(SIGUSR1, note_usr1);
    ASSERT_NE(previous, SIG_ERR);
    const std::string self = std::to_string(getpid());
    write_text_file(dir_ + "/dravel.pid", " " + self + "\n");
    const std::pair<std::string, int> runs[] = {
        {"create --notify " + self, 1},
        {"add A1 --pid-file " + dir_ + "/dravel.pid", 1},
        {"list --notify " + self, 0},
        {"add A1 --notify " + self, 0}, // refused: nothing to reload
    };
    for (const auto& step : runs) {
        usr1_seen = 0;
        run(step.first);
        EXPECT_EQ(usr1_seen, step.second) << step.first << " " << err_;
    }
    signal(SIGUSR1, previous);
}
