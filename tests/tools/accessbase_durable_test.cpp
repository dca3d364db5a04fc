#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <glob.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"
#include "tools/accessbase/access_file.h"

namespace {

bool watching = false;
std::vector<std::string> calls;

std::string path_of(int fd) {
    char path[PATH_MAX];
    const ssize_t length =
        readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "?";
}

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
// that holds the name after.
TEST(AccessFileReplacement, FileFlushedBeforeTheRenameAndTheFolderAfter) {
    char* real = realpath(scratch_dir("accessbase-durable").c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    const std::string dir = real;
    free(real);
    const std::string path = dir + "/accessbase.tpa";
    std::string error;
    calls.clear();
    watching = true;
    const int result = replace_file(path, "bytes", &error);
    watching = false;
    ASSERT_EQ(result, 0) << error;
    ASSERT_EQ(calls.size(), 3u);
    const std::string temporary = calls[0].substr(calls[0].find(' ') + 1);
    EXPECT_EQ(calls[0].rfind("fsync " + path + ".", 0), 0u) << calls[0];
    EXPECT_EQ(calls[1], "rename " + temporary + " " + path);
    EXPECT_EQ(calls[2], "fsync " + dir);
    EXPECT_EQ(read_text_file(path), "bytes");

    // A replacement that fails says so and leaves no temporary file.
    ASSERT_EQ(remove(path.c_str()), 0);
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0); // a rename onto a folder fails
    EXPECT_NE(replace_file(path, "bytes", &error), 0);
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    EXPECT_NE(replace_file(dir + "/missing/accessbase.tpa", "bytes", &error), 0);
    glob_t left;
    EXPECT_EQ(glob((path + TEMPORARY_INFIX + "*").c_str(), 0, nullptr, &left), GLOB_NOMATCH);
    globfree(&left);
    rmdir(path.c_str());
}
