// The access-base editor as operators, a second operator, a stray mistake
// or a power cut meet it: no edit is lost, nothing but the base is ever
// turned into a base, and no failure passes for success. What it writes is
// in tests/tools/golden/, with the steps of each case.
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <glob.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "tests/tools/tool_run.h"
#include "tools/accessbase/access_file.h"
#include "tools/accessbase/accessbase_cli.h"
#include "tools/accessbase/base_lock.h"
#include "tools/accessbase/pattern_index.h"

namespace {

bool watching = false;
std::vector<std::string> calls;
volatile sig_atomic_t usr1_seen;

std::string path_of(int fd) {
    char path[PATH_MAX];
    const ssize_t length =
        readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "?";
}

mode_t mode_of(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class AccessBaseTool : public ToolTest {
  protected:
    AccessBaseTool() : ToolTest(accessbase_main, "accessbase", {}) {
        base(dir_ + "/accessbase.tpa");
    }
    void base(const std::string& path) {
        words_ = {"accessbase", "--file", path};
        watched_ = path;
    }
};

} // namespace

// Stand in for the C library's fsync and rename in this program: while
// watching, note each call with the paths it concerns, then do the real work.
extern "C" int fsync(int fd) {
    if (watching)
        calls.push_back("fsync " + path_of(fd));
    return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to) {
    if (watching)
        calls.push_back(std::string("rename ") + from + " " + to);
    return renameat(AT_FDCWD, from, AT_FDCWD, to);
}

// After a power cut the service must find the old base or the new one whole:
// the new file reaches the disk before it takes the name, and the folder
// that holds the name after. A replacement that fails says so and
// leaves no temporary file.
TEST(AccessFileReplacement, FileFlushedBeforeTheRenameAndTheFolderAfter) {
    char real[PATH_MAX];
    ASSERT_NE(realpath(empty_scratch_dir("accessbase-durable").c_str(), real), nullptr);
    const std::string dir = real, path = dir + "/accessbase.tpa";
    std::string error;
    watching = true;
    ASSERT_EQ(replace_file(path, "bytes", &error), 0) << error;
    watching = false;
    const std::string temporary = calls.empty() ? "" : calls[0].substr(6);
    EXPECT_EQ(temporary.rfind(path + TEMPORARY_INFIX, 0), 0u) << temporary;
    EXPECT_EQ(calls,
              std::vector<std::string>(
                  {"fsync " + temporary, "rename " + temporary + " " + path, "fsync " + dir}));
    EXPECT_EQ(read_text_file(path), "bytes");
    ASSERT_EQ(remove(path.c_str()), 0);
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0); // a rename onto a folder fails
    EXPECT_NE(replace_file(path, "bytes", &error), 0);
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    glob_t left;
    EXPECT_EQ(glob((path + TEMPORARY_INFIX + "*").c_str(), 0, nullptr, &left), GLOB_NOMATCH);
    globfree(&left);
}

// Refused changes leave the base as it was; a CSV export imports back to
// the same bytes. (That the service loads what the editor imported, the
// simulated boards show.)
TEST_F(AccessBaseTool, EditsRefusalsAndCsvRoundTrip) {
    file("long.csv", std::string(5000, 'A') + "\n");
    EXPECT_TRUE(script_matches("accessbase-edits.txt"));
}

// Operators type patterns in lower case or on a Russian keyboard; the engine
// reads Latin capitals. Entries the service could never use as meant are
// named with their line; a bad line refuses the whole import. Fields another
// program filled to their last byte, or with control bytes, are shown
// within their width and escaped.
TEST_F(AccessBaseTool, ImportFoldsWarnsOrRefusesAndForeignRecordsAreShownSafely) {
    EXPECT_TRUE(script_matches("accessbase-import.txt"));
}

// A failed backup is an empty or short file: importing it must not wipe the
// base unless the operator says so. A CSV file given as the base is left as
// it was; a temporary file of an editor that was killed does not stay.
TEST_F(AccessBaseTool, OnlyTheBaseIsEditedAndNotEmptiedWithoutSaying) {
    EXPECT_TRUE(script_matches("accessbase-import-guard.txt"));
}

TEST_F(AccessBaseTool, EntriesTheServiceWouldMisreadAreRefused) {
    EXPECT_TRUE(script_matches("accessbase-entries.txt"));
}

TEST_F(AccessBaseTool, BadCommandLinesExplainThemselves) {
    EXPECT_TRUE(script_matches("accessbase-command-line.txt"));
}

// A pid file left by a power cut may name any process by now: only one that
// runs the service's program is signalled, here a copy of sleep by the
// service's name, which the signal ends. A stranger, the test itself, is
// not, nor the service when nothing changed.
TEST_F(AccessBaseTool, NotifiesOnlyTheServiceAndOnlyAfterAChange) {
    const std::string program = file("dravel", read_text_file("/bin/sleep"));
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    const pid_t service = fork();
    if (service == 0) {
        execl(program.c_str(), "dravel", "600", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 0); // closed by the exec
    close(ready[0]);
    const sighandler_t previous = signal(SIGUSR1, [](int) { usr1_seen = 1; });
    ASSERT_NE(previous, SIG_ERR);
    const std::string self = std::to_string(getpid()), pid = std::to_string(service);
    write_text_file(dir_ + "/dravel.pid", " " + pid + "\n");
    usr1_seen = 0;
    EXPECT_EQ(run("create --notify " + self), 1);
    EXPECT_NE(err_.find("process " + self + " is not the service"), std::string::npos) << err_;
    EXPECT_EQ(run("list --notify " + pid), 0);
    EXPECT_EQ(run("add A1 --notify " + self), 1);
    EXPECT_EQ(run("add A1 --notify " + pid), 1); // refused: nothing to reload
    EXPECT_EQ(usr1_seen, 0);
    EXPECT_EQ(waitpid(service, nullptr, WNOHANG), 0);
    EXPECT_EQ(run("add A2 --pid-file " + dir_ + "/dravel.pid"), 0) << err_;
    int status = 0;
    ASSERT_EQ(waitpid(service, &status, 0), service);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGUSR1) << status;
    signal(SIGUSR1, previous);
}

// Two operators adding at the same moment: each edit reads the base the
// other one just wrote. One that cannot get its turn says so.
TEST_F(AccessBaseTool, EditorsAtTheSameTimeLoseNoEntry) {
    ASSERT_EQ(run("create"), 0);
    pid_t children[2];
    for (const char letter : {'A', 'B'}) {
        if ((children[letter - 'A'] = fork()) == 0) {
            int failures = 0;
            for (int i = 0; i < 200; ++i)
                failures +=
                    run("add " + std::string(1, letter) + std::to_string(i) + " --wait 60") != 0;
            _exit(failures);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    run("list");
    EXPECT_EQ(out_.substr(out_.size() - 12), "400 entries\n");

    BaseLock held;
    std::string error;
    ASSERT_EQ(lock_base(watched_, 0, &held, &error), 0) << error;
    EXPECT_EQ(run("add C1 --wait 0"), 1);
    EXPECT_NE(err_.find("another accessbase is editing " + watched_), std::string::npos) << err_;
}

// A link stays a link and a device is refused, staying a device; a replaced file keeps
// its mode and owner, and a new one follows the umask. A read-only base is
// replaced only when the operator insists.
TEST_F(AccessBaseTool, OutputsStayWhatTheyWere) {
    const mode_t umask_before = umask(027);
    base(dir_ + "/base-link");
    ASSERT_EQ(symlink("flash/accessbase.tpa", watched_.c_str()), 0);
    ASSERT_EQ(mkdir((dir_ + "/flash").c_str(), 0755), 0);
    EXPECT_EQ(run("create"), 0) << err_;
    umask(umask_before);
    const std::string target = dir_ + "/flash/accessbase.tpa";
    EXPECT_EQ(mode_of(target) & 07777, 0640u);
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    const bool root = geteuid() == 0 && chown(target.c_str(), 4321, 4321) == 0;
    EXPECT_EQ(run("add A1"), 1);
    ASSERT_EQ(run("add A1 --force"), 0) << err_;
    EXPECT_EQ(mode_of(watched_) & S_IFMT, static_cast<mode_t>(S_IFLNK));
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    if (root) {
        EXPECT_TRUE(st.st_uid == 4321 && st.st_gid == 4321);
    }

    const std::string csv_link = dir_ + "/export-link";
    ASSERT_EQ(symlink("export.csv", csv_link.c_str()), 0);
    EXPECT_EQ(run("export " + csv_link), 0) << err_;
    EXPECT_EQ(mode_of(csv_link) & S_IFMT, static_cast<mode_t>(S_IFLNK));
    EXPECT_NE(read_text_file(dir_ + "/export.csv").find("\nA1,"), std::string::npos);
    EXPECT_EQ(run("export /dev/null"), 1);
    EXPECT_EQ(mode_of("/dev/null") & S_IFMT, static_cast<mode_t>(S_IFCHR));
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
