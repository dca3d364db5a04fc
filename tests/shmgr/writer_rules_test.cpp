#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/shmgr/stream_fixture.h"

namespace {

class WriterRules : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        ASSERT_EQ(shmgrConnect("first", 0, &first), 1);
        ASSERT_EQ(shmgrConnect("second", 0, &second), 1);
    }
    void TearDown() override {
        shmgrDisconnect(&second);
        shmgrDisconnect(&first);
        StreamTest::TearDown();
    }
    SHMGR_CONNECTION first = nullptr;
    SHMGR_CONNECTION second = nullptr;
};

} // namespace

TEST_F(WriterRules, OneBlockOutPerWriterAndPerChannel) {
    SHMGR_BLOCK held = nullptr;
    ASSERT_EQ(shmgrRequestMemory(first, 0, 0, &held), 1);
    SHMGR_BLOCK refused = held;
    EXPECT_EQ(shmgrRequestMemory(first, 1, 0, &refused), 0);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(shmgrRequestMemory(second, 0, 0, &refused), 0);
    EXPECT_EQ(errno, EBUSY);
    ASSERT_EQ(shmgrRequestMemory(second, 1, 0, &refused), 1);
    EXPECT_EQ(shmgrReturnMemory(second, &refused), 1);

    ASSERT_EQ(shmgrReturnMemory(first, &held), 1);
    ASSERT_EQ(shmgrRequestMemory(second, 0, 0, &held), 1);
    EXPECT_EQ(shmgrReturnMemory(second, &held), 1);
    EXPECT_TRUE(next());
    EXPECT_TRUE(next());
    EXPECT_FALSE(next());
}

TEST_F(WriterRules, BadArgumentsAndStaleHandlesAreRefused) {
    SHMGR_BLOCK block = nullptr;
    EXPECT_EQ(shmgrRequestMemory(first, 0, SHMGR_BLOCK_SIZE + 1, &block), 0);
    EXPECT_EQ(shmgrRequestMemory(first, SHMGR_MAX_CHANNELS, 0, &block), 0);
    EXPECT_EQ(errno, EINVAL);

    ASSERT_EQ(shmgrRequestMemory(first, 0, 100, &block), 1);
    EXPECT_EQ(shmgrGetData(second, block), nullptr);
    EXPECT_EQ(shmgrSetLen(block, 101), 0);
    EXPECT_EQ(shmgrReturnMemory(second, &block), 0);
    ASSERT_EQ(shmgrSetLen(block, 100), 1);
    SHMGR_BLOCK stale = block;
    ASSERT_EQ(shmgrReturnMemory(first, &block), 1);
    EXPECT_EQ(shmgrReturnMemory(first, &stale), 0);
    EXPECT_EQ(shmgrSetLen(stale, 1), 0);
    EXPECT_EQ(errno, EINVAL);

    ASSERT_TRUE(next());
    EXPECT_EQ(info.length, 100);
    EXPECT_FALSE(next());
}

// A writer in another process publishes one block and dies holding the next.
TEST_F(WriterRules, BlockOfAWriterThatLeftIsDroppedAndTheChannelFreed) {
    SHMGR_BLOCK block = nullptr;
    ASSERT_EQ(shmgrRequestMemory(first, 0, 0, &block), 1);
    ASSERT_EQ(shmgrDisconnect(&first), 1);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SHMGR_CONNECTION own = nullptr;
        bool ok = shmgrConnect("dies", 0, &own) == 1 &&
                  shmgrRequestMemory(own, 0, 0, &block) == 1 && shmgrSetLen(block, -1) == 1 &&
                  shmgrReturnMemory(own, &block) == 1 &&
                  shmgrRequestMemory(own, 0, 8, &block) == 1 && shmgrSetLen(block, 8) == 1;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    ASSERT_EQ(shmgrRequestMemory(second, 0, 0, &block), 1);
    ASSERT_EQ(shmgrReturnMemory(second, &block), 1);
    ASSERT_TRUE(next());
    EXPECT_EQ(info.length, -1);
    ASSERT_TRUE(next());
    EXPECT_EQ(info.sequence, 2u);
    EXPECT_EQ(info.length, 0);
    EXPECT_EQ(info.iframe, 1);
    EXPECT_FALSE(next());
}

TEST(StreamSetup, ObjectOfAnotherLayoutIsRefused) {
    char prefix[64];
    snprintf(prefix, sizeof prefix, "/dravel-test-foreign-%d", static_cast<int>(getpid()));
    setenv("SHMGR_PREFIX", prefix, 1);
    char name[NAME_MAX + 1];
    snprintf(name, sizeof name, "%s.0", prefix);
    int fd = shm_open(name, O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 4096), 0);
    close(fd);
    SHMGR_READER reader = nullptr;
    EXPECT_EQ(shmgrReaderAttach(0, &reader), 0);
    EXPECT_EQ(errno, EPROTO);
    SHMGR_CONNECTION connection = nullptr;
    ASSERT_EQ(shmgrConnect("x", 0, &connection), 1);
    SHMGR_BLOCK block = nullptr;
    EXPECT_EQ(shmgrRequestMemory(connection, 0, 0, &block), 0);
    EXPECT_EQ(errno, EPROTO);
    shmgrDisconnect(&connection);
    shm_unlink(name);
    unsetenv("SHMGR_PREFIX");
}
