#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <glob.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "core/gv.h"
#include "tests/tools/accessbase_fixture.h"
#include "tools/accessbase/access_file.h"

namespace {

volatile sig_atomic_t usr1_seen;
void note_usr1(int) {
    usr1_seen = 1;
}

} // namespace

// Refused changes leave the file as it was; the service loads what the editor
// wrote, in the editor's order; a CSV export imports back to the same bytes.
TEST_F(AccessBaseTool, EditsRefusalsServiceLoadAndCsvRoundTrip) {
    EXPECT_EQ(run("create"), 0);
    EXPECT_EQ(run("create"), 1) << "an existing base is never emptied by accident";
    ASSERT_EQ(run("add A123BC --owner Иванов --places 2 --text Гость}"), 0) << err_;
    ASSERT_EQ(run("add B7?? --to 2024-06-30T23:59:59+03:00 --max-time 2:15"), 0);
    ASSERT_EQ(run("add C1"), 0);
    ASSERT_EQ(run("remove C1"), 0);
    const std::string before = read_text_file(file_);
    const std::pair<std::string, const char*> refusals[] = {
        {"add ABCDEFGHIJ", "at most 9"},
        {"add D1 --places 1 --owner " + std::string(29, 'x') + "Ж", "at most 31"},
        {"add D1 --text " + std::string(63, 'x') + "Ж", "at most 63"},
        {"add D1 --owner Müller", "U+00FC, which CP1251 cannot hold"},
        {"add B7??", "already listed"},
        {"remove C1", "no entry"},
    };
    for (const auto& refusal : refusals) {
        EXPECT_EQ(run(refusal.first), 1) << refusal.second;
        EXPECT_NE(err_.find(refusal.second), std::string::npos) << err_;
    }
    EXPECT_EQ(read_text_file(file_), before);

    EXPECT_EQ(run("list"), 0);
    EXPECT_EQ(out_, "1. A123BC  1970-01-01T00:00:00Z .. 2038-01-19T03:14:07Z  owner \"Иванов\", "
                    "places 2, max time -, text \"Гость}\"\n"
                    "2. B7??  1970-01-01T00:00:00Z .. 2024-06-30T20:59:59Z  owner \"\", places -, "
                    "max time 2:15, text \"\"\n"
                    "2 entries\n");
    load_access_base(file_.c_str());
    ASSERT_EQ(gv.access_count, 2);
    EXPECT_EQ(gv.access_entries[0].places, 2);
    EXPECT_EQ(gv.access_entries[1].max_park_time, 8100);
    EXPECT_EQ(car_number_cmp(gv.access_base[1].number, "B777"), 1);
    free_access_base();

    ASSERT_EQ(run("export " + dir_ + "/export.csv"), 0) << err_;
    ASSERT_EQ(run("create --force"), 0);
    EXPECT_EQ(read_text_file(file_), "");
    ASSERT_EQ(run("import " + dir_ + "/export.csv"), 0) << err_;
    EXPECT_EQ(read_text_file(file_), before);
}

TEST_F(AccessBaseTool, BadCommandLinesExplainThemselves) {
    // A bad process id is refused before anything is written.
    for (const char* line :
         {"", "frobnicate", "add", "list extra", "list --owner X", "--bogus list", "list --notify",
          "create --notify -1", "list --notify 1", "list --notify 12x", "list --notify 99999999999",
          "list --notify 12 --pid-file dravel.pid"}) {
        EXPECT_EQ(run(line), 2) << line;
        EXPECT_NE(err_.find("--help"), std::string::npos);
    }
    EXPECT_EQ(run("--help"), 0);
    EXPECT_NE(out_.find("Usage: accessbase"), std::string::npos);
    // Nothing was created above; a missing file is an error, not an empty list.
    EXPECT_EQ(run("list"), 1);
}

TEST_F(AccessBaseTool, ReplacesTheFileWholeKeepingItsPermissionsAndNoTemporaryFile) {
    ASSERT_EQ(run("create"), 0);
    ASSERT_EQ(run("add A1"), 0);
    ASSERT_EQ(chmod(file_.c_str(), 0640), 0);
    // A reader that opened the old file keeps seeing it whole: the new
    // content arrives under the name, never inside the open file.
    const int reader = open(file_.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(run("add B2"), 0);
    struct stat old_file;
    struct stat new_file;
    ASSERT_EQ(fstat(reader, &old_file), 0);
    ASSERT_EQ(stat(file_.c_str(), &new_file), 0);
    close(reader);
    EXPECT_EQ(old_file.st_size, static_cast<off_t>(sizeof(_access_rec_t)));
    EXPECT_EQ(new_file.st_size, static_cast<off_t>(2 * sizeof(_access_rec_t)));
    EXPECT_EQ(new_file.st_mode & 07777, 0640u);

    std::string error;
    ASSERT_EQ(remove(file_.c_str()), 0);
    ASSERT_EQ(mkdir(file_.c_str(), 0755), 0); // a rename onto a folder fails
    EXPECT_NE(replace_file(file_, "bytes", &error), 0);
    EXPECT_NE(error.find("cannot replace"), std::string::npos);
    EXPECT_NE(replace_file(dir_ + "/missing/accessbase.tpa", "bytes", &error), 0);
    glob_t left; // by the replacements that worked or the one that failed
    EXPECT_EQ(glob((file_ + ".tmp.*").c_str(), 0, nullptr, &left), GLOB_NOMATCH);
    globfree(&left);
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
