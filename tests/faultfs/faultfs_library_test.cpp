// The fault library itself: the armed call and no other fails, with the
// chosen error, and only calls on files below the watched folders count.
#include "tests/faultfs/preload/faultfs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

namespace {

class FaultLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch_dir("faultfs-library");
        path = dir + "/file";
        write_text_file(path, "0123456789");
    }
    void TearDown() override { faultfs_off(); }

    void arm(const char* op, const char* error, const char* partial = nullptr) {
        ASSERT_EQ(0, faultfs_configure(op, "2", error, dir.c_str(), partial));
    }

    std::string dir;
    std::string path;
};

// Opens the file, does one call of the operation on it, closes it. The call's
// success; errno tells why not.
struct OpCase {
    const char* op;
    std::function<bool(const std::string& path)> call;
};

bool with_fd(const std::string& path, const std::function<bool(int)>& call) {
    const int fd = open(path.c_str(), O_RDWR);
    if (fd < 0)
        return false;
    const bool done = call(fd);
    const int error = errno;
    close(fd);
    errno = error;
    return done;
}

bool with_stream(const std::string& path, const std::function<bool(FILE*)>& call) {
    FILE* stream = fopen(path.c_str(), "r+b");
    if (stream == nullptr)
        return false;
    const bool done = call(stream);
    const int error = errno;
    fclose(stream);
    errno = error;
    return done;
}

const OpCase OP_CASES[] = {
    {"open", [](const std::string& p) { return with_fd(p, [](int) { return true; }); }},
    {"fopen", [](const std::string& p) { return with_stream(p, [](FILE*) { return true; }); }},
    {"read",
     [](const std::string& p) {
         return with_fd(p, [](int fd) {
             char byte;
             return read(fd, &byte, 1) == 1;
         });
     }},
    {"fread",
     [](const std::string& p) {
         return with_stream(p, [](FILE* f) {
             char byte;
             return fread(&byte, 1, 1, f) == 1 && !ferror(f);
         });
     }},
    {"write",
     [](const std::string& p) {
         return with_fd(p, [](int fd) { return write(fd, "w", 1) == 1; });
     }},
    {"fwrite",
     [](const std::string& p) {
         return with_stream(p, [](FILE* f) { return fwrite("w", 1, 1, f) == 1 && !ferror(f); });
     }},
    {"fflush",
     [](const std::string& p) {
         return with_stream(p, [](FILE* f) { return fputc('w', f) == 'w' && fflush(f) == 0; });
     }},
    {"fsync",
     [](const std::string& p) { return with_fd(p, [](int fd) { return fsync(fd) == 0; }); }},
    {"rename", [](const std::string& p) { return rename(p.c_str(), p.c_str()) == 0; }},
    {"ftruncate",
     [](const std::string& p) {
         return with_fd(p, [](int fd) { return ftruncate(fd, 10) == 0; });
     }},
    {"fstat",
     [](const std::string& p) {
         return with_fd(p, [](int fd) {
             struct stat status;
             return fstat(fd, &status) == 0;
         });
     }},
    {"fcntl",
     [](const std::string& p) {
         return with_fd(p, [](int fd) {
             struct flock lock = {};
             lock.l_type = F_WRLCK;
             lock.l_whence = SEEK_SET;
             return fcntl(fd, F_SETLK, &lock) == 0 && fcntl(fd, F_GETFD) >= 0;
         });
     }},
    {"close",
     [](const std::string& p) {
         const int fd = open(p.c_str(), O_RDONLY);
         return fd >= 0 && close(fd) == 0;
     }},
    {"fclose",
     [](const std::string& p) {
         FILE* f = fopen(p.c_str(), "rb");
         return f != nullptr && fclose(f) == 0;
     }},
};

TEST_F(FaultLibrary, OnlyTheNthCallOfTheOperationFails) {
    for (const OpCase& each : OP_CASES) {
        for (const auto& [name, error] :
             {std::pair{"EIO", EIO}, {"ENOSPC", ENOSPC}, {"13", EACCES}}) {
            SCOPED_TRACE(std::string(each.op) + " " + name);
            arm(each.op, name);
            EXPECT_TRUE(each.call(path));
            errno = 0;
            EXPECT_FALSE(each.call(path));
            EXPECT_EQ(error, errno);
            EXPECT_TRUE(each.call(path));
            EXPECT_EQ(3, faultfs_count(each.op));
            EXPECT_EQ(1, faultfs_injected());
        }
    }
}

TEST_F(FaultLibrary, OnlyFilesBelowTheFoldersCount) {
    const std::string sibling = dir + "-sibling";
    write_text_file(sibling, "x");
    ASSERT_EQ(0, faultfs_configure("open", "2", "EIO", (dir + "///").c_str(), nullptr));
    const int outside = open(sibling.c_str(), O_RDONLY);
    EXPECT_GE(outside, 0);
    close(outside);
    EXPECT_EQ(0, faultfs_count("open"));

    // A relative name and doubled slashes still name a watched file.
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(dir.c_str()));
    const int inside = open("./file", O_RDONLY);
    ASSERT_EQ(0, chdir(cwd));
    close(inside);
    EXPECT_EQ(1, faultfs_count("open"));
    EXPECT_EQ(-1, open((dir + "//file").c_str(), O_RDONLY));
    EXPECT_EQ(EIO, errno);
    faultfs_off();
    EXPECT_EQ(-1, faultfs_configure("unlink", "1", "EIO", dir.c_str(), nullptr));
    EXPECT_EQ(-1, faultfs_configure("open", "0", "EIO", dir.c_str(), nullptr));
    EXPECT_EQ(-1, faultfs_configure("open", "1", "EBUSY", dir.c_str(), nullptr));
}

// A filling disk: half the bytes land and the short count says so; bytes a
// failed flush held are gone.
TEST_F(FaultLibrary, PartialWritesAndLostBuffers) {
    arm("write", "ENOSPC", "1");
    EXPECT_TRUE(with_fd(path, [](int fd) { return write(fd, "ab", 2) == 2; }));
    EXPECT_TRUE(with_fd(path, [](int fd) { return write(fd, "ABCDEFGHIJ", 10) == 5; }));
    EXPECT_EQ("ABCDE56789", read_text_file(path));

    arm("fflush", "EIO");
    for (int round = 0; round < 2; ++round) {
        FILE* stream = fopen(path.c_str(), "ab");
        ASSERT_NE(nullptr, stream);
        fputs("tail", stream);
        EXPECT_EQ(round == 1, fflush(stream) != 0);
        EXPECT_EQ(round == 1, ferror(stream) != 0);
        fclose(stream);
    }
    EXPECT_EQ("ABCDE56789tail", read_text_file(path));
}

// As the end-to-end runs use it: preloaded into a program, set up from the
// environment, the counts of each process appended to one file.
TEST_F(FaultLibrary, PreloadedFromTheEnvironment) {
#if defined(__arm__)
    GTEST_SKIP() << "the shell here is not a program of the board's architecture";
#endif
    Dl_info info;
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&faultfs_configure), &info));
    const std::string counts = dir + "-counts";
    unlink(counts.c_str());
    const std::string environment = std::string("LD_PRELOAD=") + info.dli_fname +
                                    " FAULTFS_PATHS=" + dir + " FAULTFS_COUNT_FILE=" + counts;
    const std::string twice = "echo a >" + path + "; echo b >>" + path;
    EXPECT_EQ(0, system((environment + " sh -c '" + twice + "'").c_str()));
    EXPECT_NE(0, system((environment + " FAULTFS_OP=open FAULTFS_NTH=2 FAULTFS_ERRNO=ENOSPC" +
                         " sh -c '" + twice + "' 2>/dev/null")
                            .c_str()));
    EXPECT_EQ("a\n", read_text_file(path));
    EXPECT_EQ("open 2\nclose 2\ninjected 0\nopen 2\nclose 1\ninjected 1\n", read_text_file(counts));
}

} // namespace
