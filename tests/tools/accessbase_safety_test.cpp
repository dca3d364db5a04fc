// The editor as a stray mistake, a second operator or a full disk meets it:
// no edit is lost, nothing but the base is ever turned into a base, and no
// failure passes for success.
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/accessbase_fixture.h"
#include "tools/accessbase/base_lock.h"

namespace {

const std::string ROW = ",2024-01-01T00:00:00Z,2024-12-31T23:59:59Z,,,,\n";

mode_t kind_of(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

// Runs `lines` of the editor, one after the other, in a child process.
pid_t editing_child(const std::string& file, const std::vector<std::string>& lines) {
    const pid_t child = fork();
    if (child != 0)
        return child;
    int failures = 0;
    Transcript runs;
    for (const std::string& line : lines)
        failures += runs.run(accessbase_main, {"accessbase", "--file", file}, words_of(line));
    _exit(failures == 0 ? 0 : 1);
}

} // namespace

// Two operators adding at the same moment: each edit reads the base the
// other one just wrote. One that cannot get its turn says so.
TEST_F(AccessBaseTool, EditorsAtTheSameTimeLoseNoEntry) {
    ASSERT_EQ(run("create"), 0);
    std::vector<std::string> first, second;
    for (int i = 0; i < 200; ++i) {
        first.push_back("add A" + std::to_string(i) + " --wait 60");
        second.push_back("add B" + std::to_string(i) + " --wait 60");
    }
    const pid_t children[] = {editing_child(file_, first), editing_child(file_, second)};
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    run("list");
    EXPECT_EQ(out_.substr(out_.size() - 12), "400 entries\n");

    BaseLock held;
    std::string error;
    ASSERT_EQ(lock_base(file_, 0, &held, &error), 0) << error;
    EXPECT_EQ(run("add C1 --wait 0"), 1);
    EXPECT_NE(err_.find("another accessbase is editing " + file_), std::string::npos) << err_;
}

// A link stays a link and a device stays a device; a replaced file keeps
// its mode and owner, and a new one follows the umask.
TEST_F(AccessBaseTool, OutputsStayWhatTheyWere) {
    const mode_t umask_before = umask(027);
    file_ = dir_ + "/base-link";
    ASSERT_EQ(symlink("flash/accessbase.tpa", file_.c_str()), 0);
    ASSERT_EQ(mkdir((dir_ + "/flash").c_str(), 0755), 0);
    EXPECT_EQ(run("create"), 0) << err_;
    umask(umask_before);
    const std::string target = dir_ + "/flash/accessbase.tpa";
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(chmod(target.c_str(), 0604), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(target.c_str(), 4321, 4321), 0);
    }
    ASSERT_EQ(run("add A1"), 0) << err_;
    EXPECT_EQ(kind_of(file_), static_cast<mode_t>(S_IFLNK));
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (root) {
        EXPECT_TRUE(st.st_uid == 4321 && st.st_gid == 4321);
    }

    const std::string csv_link = dir_ + "/export-link";
    ASSERT_EQ(symlink("export.csv", csv_link.c_str()), 0);
    EXPECT_EQ(run("export " + csv_link), 0) << err_;
    EXPECT_EQ(kind_of(csv_link), static_cast<mode_t>(S_IFLNK));
    EXPECT_NE(read_text_file(dir_ + "/export.csv").find("\nA1,"), std::string::npos);

    EXPECT_EQ(run("export /dev/null"), 0) << err_;
    EXPECT_EQ(kind_of("/dev/null"), static_cast<mode_t>(S_IFCHR));
}

// A failed backup is an empty or short file: importing it must not wipe the
// base unless the operator says so.
TEST_F(AccessBaseTool, ImportThatWouldEmptyOrHalveTheBaseNeedsSaying) {
    ASSERT_EQ(run("create"), 0);
    for (const char* pattern : {"A1", "A2", "A3", "A4"})
        ASSERT_EQ(run(std::string("add ") + pattern), 0);
    const std::string csv = dir_ + "/import.csv";
    const std::string before = read_text_file(file_);
    for (const std::string& backup : {std::string(), "A1" + ROW + "B1" + ROW}) {
        write_text_file(csv, backup);
        EXPECT_EQ(run("import " + csv), 1);
        EXPECT_EQ(read_text_file(file_), before);
    }
    write_text_file(csv, "A1" + ROW + "A2" + ROW + "B1" + ROW); // drops half
    EXPECT_EQ(run("import " + csv), 0) << err_;
    write_text_file(csv, "B1" + ROW);
    EXPECT_EQ(run("import --replace " + csv), 0) << err_;
    run("list");
    write_text_file(csv, "number,from,to,owner,places,max_time,text\n");
    EXPECT_EQ(run("import --allow-empty " + csv), 0) << err_;
    run("list");
    EXPECT_TRUE(runs_match("accessbase-import-guard.txt"));
}

// A CSV file or a read-only base given by mistake is left as it was; a
// temporary file of an editor that was killed does not stay behind.
TEST_F(AccessBaseTool, OnlyAWritableAccessBaseIsEditedWithoutForce) {
    const std::string csv = "number,from,to,owner,places,max_time,text\nA1" + ROW;
    write_text_file(file_, csv);
    for (const char* edit : {"add B1", "remove A1", "import " /* itself */}) {
        EXPECT_EQ(run(edit + (edit[0] == 'i' ? file_ : "")), 1) << edit;
    }
    EXPECT_EQ(read_text_file(file_), csv);
    EXPECT_EQ(run("list"), 0) << "only a warning when nothing is written";
    EXPECT_EQ(run("add B1 --force"), 0);

    const std::string left = file_ + ".tmp.Ab12Cd";
    write_text_file(left, "half a record");
    ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
    EXPECT_EQ(run("add C1"), 1);
    EXPECT_NE(access(left.c_str(), F_OK), 0);
    EXPECT_EQ(run("add C1 --force"), 0);
    struct stat st;
    ASSERT_EQ(stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    run("list");
    EXPECT_TRUE(runs_match("accessbase-foreign-files.txt"));
}
