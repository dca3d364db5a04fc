#include "support/journal_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/common/file_size_limit.h"
#include "tests/common/files.h"
#include "tests/common/syslog_capture.h"
#include "tests/support/pauses.h"

namespace {

int stop_looks = 0;

std::string journal_path(const std::string& name) {
    const std::string path = scratch_dir("journal_file") + "/" + name;
    unlink(path.c_str());
    return path;
}

// Appends hold their lock (no refusal is logged), and a journal they create
// may be read and written by the other service's user too, as far as the
// umask lets it.
TEST(JournalFile, AppendsStartAtAWholeRecord) {
    syslog_capture::clear();
    const std::string records = journal_path("records.tpn");
    EXPECT_EQ(journal_ok, journal_append_record(records.c_str(), "aaaaaaaa", 8, "test"));
    const mode_t umask_now = umask(0);
    umask(umask_now);
    struct stat created;
    ASSERT_EQ(stat(records.c_str(), &created), 0);
    EXPECT_EQ(created.st_mode & 0777, 0666 & ~umask_now);
    write_text_file(records, std::string(8, 'a') + "torn");
    EXPECT_EQ(journal_ok, journal_append_record(records.c_str(), "BBBBBBBB", 8, "test"));
    EXPECT_EQ(std::string(8, 'a') + "BBBBBBBB", read_text_file(records));

    EXPECT_EQ(syslog_capture::all(), std::vector<std::string>{});
}

// A write the disk takes only in part is a full disk, whatever the C library
// left in errno, and is cut back; one that fails keeps its own cause, which
// the caller logs.
TEST(JournalFile, AShortWriteIsAFullDiskAndAFailedOneKeepsItsCause) {
    const std::string path = journal_path("short");
    write_text_file(path, "kept");
    int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    {
        FileSizeLimit room(8);
        ASSERT_TRUE(room.set());
        errno = 0;
        EXPECT_EQ(journal_write_failed, journal_write_whole(fd, "BBBBBBBB", 8, -1, 4));
        EXPECT_EQ(errno, ENOSPC);
    }
    close(fd);
    EXPECT_EQ(read_text_file(path), "kept");

    fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(journal_write_failed, journal_write_whole(fd, "BBBBBBBB", 8, -1, 4));
    EXPECT_EQ(errno, EBADF);
    close(fd);
}

// A line after a torn one is not written when the torn one cannot be ended:
// the failure is told, and the journal stays as it was.
TEST(JournalFile, ATornLineThatCannotBeEndedFailsTheAppend) {
    const std::string path = journal_path("torn.csv");
    write_text_file(path, "torn");
    {
        FileSizeLimit room(4);
        ASSERT_TRUE(room.set());
        EXPECT_EQ(journal_write_failed, journal_append_line(path.c_str(), "a line\n", "test"));
    }
    EXPECT_EQ(read_text_file(path), "torn");
}

// Another process sees the lock held over the whole file, beyond its end
// too, where the next append goes; its own wait for the lock pauses between
// its looks, and ends at once, unlocked and without a word, when the service
// is asked to stop.
TEST(JournalFile, LockCoversTheWholeFileForOtherProcesses) {
    const std::string path = journal_path("locked.tpn");
    write_text_file(path, "x");
    const int fd = open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(journal_lock(fd, F_WRLCK, path.c_str(), "test"), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int other = open(path.c_str(), O_RDWR);
        bool held = other >= 0;
        for (off_t start : {0, 1 << 20}) {
            struct flock probe = {};
            probe.l_type = F_WRLCK;
            probe.l_whence = SEEK_SET;
            probe.l_start = start;
            probe.l_len = 1;
            held = held && fcntl(other, F_GETLK, &probe) == 0 && probe.l_type == F_WRLCK &&
                   probe.l_pid == getppid();
        }
        journal_lock_wait_ends([] { return ++stop_looks > 1; });
        syslog_capture::clear();
        pauses::requests().clear();
        held = held && journal_lock(other, F_WRLCK, path.c_str(), "test") == -1 &&
               syslog_capture::all().empty() && pauses::requests().size() == 1;
        _exit(held ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(fd);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A file that takes no lock is written unlocked; that is said once for the
// life of the process, under the first caller's name. (This test comes
// last: no other may have been refused before.)
TEST(JournalFile, RefusedLockIsSaidOnce) {
    const int folder = open(scratch_dir("journal_file").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    syslog_capture::clear();
    EXPECT_EQ(journal_lock(folder, F_WRLCK, "folder", "netnumbase_update"), -1);
    EXPECT_EQ(journal_lock(folder, F_WRLCK, "folder", "netpassbase_write"), -1);
    close(folder);
    EXPECT_EQ(syslog_capture::all(),
              std::vector<std::string>{
                  "netnumbase_update: file lock refused: " + std::to_string(EBADF) + " [" +
                  strerror(EBADF) + "], journals are written without locks\n"});
}

} // namespace
