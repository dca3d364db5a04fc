#include <string>

#include <gtest/gtest.h>

#include "support/support_routines.h"
#include "tests/support/scratch_dir.h"

class FilePrintf : public ::testing::Test {
  protected:
    void SetUp() override { dir = make_scratch_dir(); }
    void TearDown() override { remove_scratch_dir(dir); }
    std::string dir;
};

// The journals' storage may be missing (unmounted disc): the call must fail
// without creating the folder or a stray file.
TEST_F(FilePrintf, MissingFolderFailsAndCreatesNothing) {
    const std::string missing = dir + "/absent";
    EXPECT_EQ(file_printf((missing + "/passbase.csv").c_str(), "%s\n", "line"), -1);
    EXPECT_FALSE(path_exists(missing));
}

TEST_F(FilePrintf, CreatesTheFileAndAppendsInOrder) {
    const std::string path = dir + "/journal.csv";
    EXPECT_EQ(file_printf(path.c_str(), "%s;%d\n", "first", 1), 0);
    EXPECT_EQ(read_text_file(path), "first;1\n");
    EXPECT_EQ(file_printf(path.c_str(), "%s;%d\n", "second", 2), 0);
    EXPECT_EQ(read_text_file(path), "first;1\nsecond;2\n");
}

TEST_F(FilePrintf, KeepsWhatTheFileHeldBefore) {
    const std::string path = dir + "/journal.csv";
    write_text_file(path, "old line\n");
    EXPECT_EQ(file_printf(path.c_str(), "new %s\n", "line"), 0);
    EXPECT_EQ(read_text_file(path), "old line\nnew line\n");
}

// A full disc accepts the open but not the text: that line is lost, and the
// caller must hear so.
TEST_F(FilePrintf, FailedWriteIsReported) {
    if (!path_exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    EXPECT_EQ(file_printf("/dev/full", "%s\n", "lost line"), -1);
}
