#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/shmgr/shmgr_layout.h"
#include "tests/shmgr/stream_fixture.h"

namespace {

class Stream : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        ASSERT_EQ(shmgrConnect("test writer", 0, &writer), 1);
        ASSERT_EQ(shmgrConnect("other writer", 0, &other), 1);
    }
    void TearDown() override {
        shmgrDisconnect(&other);
        shmgrDisconnect(&writer);
        StreamTest::TearDown();
    }
    // Publishes one block whose data is `length` bytes of `fill`.
    void publish(int length, int fill) {
        SHMGR_BLOCK block = nullptr;
        ASSERT_EQ(shmgrRequestMemory(writer, 0, SHMGR_BLOCK_SIZE, &block), 1);
        memset(shmgrGetData(writer, block), fill, length > 0 ? length : 0);
        ASSERT_EQ(shmgrSetLen(block, length), 1);
        ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
        EXPECT_EQ(block, nullptr);
    }
    SHMGR_CONNECTION writer = nullptr;
    SHMGR_CONNECTION other = nullptr;
};

} // namespace

TEST_F(Stream, ReaderAttachedMidStreamSeesEveryLaterBlockInOrder) {
    for (int i = 0; i < 5; ++i)
        publish(10, 0xEE);
    shmgrReaderDetach(&reader);
    ASSERT_EQ(shmgrReaderAttach(0, &reader), 1);
    EXPECT_FALSE(next());
    for (int i = 0; i < SHMGR_RING_BLOCKS; ++i)
        publish(100 + i, i);
    for (int i = 0; i < SHMGR_RING_BLOCKS; ++i) {
        ASSERT_TRUE(next());
        EXPECT_EQ(info.sequence, static_cast<uint32_t>(6 + i));
        EXPECT_EQ(info.length, 100 + i);
        EXPECT_EQ(info.missed, 0u);
        EXPECT_EQ(data[99 + i], i);
    }
    EXPECT_FALSE(next());
}

TEST_F(Stream, SlowReaderLosesTheOldestBlocksAndIsToldHowMany) {
    const int published = 3 * SHMGR_RING_BLOCKS + 5;
    for (int i = 1; i <= published; ++i)
        publish(1, i);
    const int first_kept = published - SHMGR_RING_BLOCKS + 1;
    ASSERT_TRUE(next());
    EXPECT_EQ(info.sequence, static_cast<uint32_t>(first_kept));
    EXPECT_EQ(info.missed, static_cast<uint32_t>(first_kept - 1));
    EXPECT_EQ(data[0], first_kept);
    for (int i = first_kept + 1; i <= published; ++i) {
        ASSERT_TRUE(next());
        EXPECT_EQ(info.sequence, static_cast<uint32_t>(i));
        EXPECT_EQ(info.missed, 0u);
    }
}

// A block published without setting anything shows the fresh values, none
// of them what a writer resets a block to; set values are published as set.
TEST_F(Stream, HeaderValuesArePublishedAsSet) {
    SHMGR_BLOCK fresh = nullptr;
    ASSERT_EQ(shmgrRequestMemory(writer, 0, 0, &fresh), 1);
    ASSERT_EQ(shmgrReturnMemory(writer, &fresh), 1);
    ASSERT_TRUE(next());
    EXPECT_EQ(info.length, SHMGR_LENGTH_UNSET);
    EXPECT_TRUE(info.length != 0 && info.length != -1) << info.length;
    EXPECT_NE(info.frame_time, 0);
    EXPECT_EQ(info.activity, SHMGR_ACTIVITY_UNSET);
    EXPECT_NE(info.activity, 0);
    EXPECT_EQ(info.frame_number, info.sequence);
    EXPECT_NE(info.frame_number, 0u);
    for (int length : {-1, 0}) {
        SHMGR_BLOCK block = nullptr;
        ASSERT_EQ(shmgrRequestMemory(writer, 0, 0, &block), 1);
        EXPECT_EQ(shmgrSetLen(block, length), 1);
        EXPECT_EQ(shmgrSetFrameTime(block, -5000000000LL), 1);
        EXPECT_EQ(shmgrSetActivity(block, -7), 1);
        EXPECT_EQ(shmgrSetFrameNumber(block, 0xFFFFFFF0u), 1);
        ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
        ASSERT_TRUE(next());
        EXPECT_EQ(info.length, length);
        EXPECT_EQ(info.frame_time, -5000000000LL);
        EXPECT_EQ(info.activity, -7);
        EXPECT_EQ(info.frame_number, 0xFFFFFFF0u);
    }
}

// Every block a reader accepts while the writer races through the ring must
// be whole: data and length written for the same sequence number. Blocks it
// does not get must be counted as missed, never silently skipped.
TEST_F(Stream, ConcurrentReaderNeverSeesATornBlockAndAccountsForAll) {
    const uint32_t total = 20000;
    std::atomic<bool> written(false);
    std::thread writing([this, &written] {
        for (uint32_t i = 1; i <= total; ++i)
            publish(1000 + static_cast<int>(i % 7) * 9000, static_cast<int>(i & 0xFF));
        written = true;
    });
    uint32_t accounted = 0;
    bool whole = true;
    // Polling without pause keeps the reader inside the ring, where the
    // writer overtakes it in the middle of copies.
    while (accounted < total && whole) {
        bool finished = written;
        if (!next()) {
            if (finished)
                break;
            continue;
        }
        accounted += info.missed + 1;
        const int length = 1000 + static_cast<int>(accounted % 7) * 9000;
        int wrong = 0;
        for (int k = 0; k < length; ++k)
            wrong += data[k] != (accounted & 0xFF);
        whole = info.sequence == accounted && info.length == length && wrong == 0;
    }
    writing.join();
    EXPECT_TRUE(whole) << "block " << info.sequence << " of length " << info.length;
    EXPECT_EQ(accounted, total);
}

// One block out per writer and per channel; bad arguments, another writer's
// block and a block already handed back are refused.
TEST_F(Stream, WritersKeepToTheirBlocks) {
    SHMGR_BLOCK held = nullptr;
    ASSERT_EQ(shmgrRequestMemory(writer, 0, 100, &held), 1);
    SHMGR_BLOCK refused = held;
    EXPECT_EQ(shmgrRequestMemory(writer, 1, 0, &refused), 0);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(shmgrRequestMemory(other, 0, 0, &refused), 0);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(shmgrRequestMemory(other, 1, SHMGR_BLOCK_SIZE + 1, &refused), 0);
    EXPECT_EQ(shmgrRequestMemory(other, SHMGR_MAX_CHANNELS, 0, &refused), 0);
    EXPECT_EQ(errno, EINVAL);
    ASSERT_EQ(shmgrRequestMemory(other, 1, 0, &refused), 1);
    EXPECT_EQ(shmgrReturnMemory(other, &refused), 1);

    EXPECT_EQ(shmgrGetData(other, held), nullptr);
    EXPECT_EQ(shmgrSetLen(held, 101), 0);
    EXPECT_EQ(shmgrReturnMemory(other, &held), 0);
    ASSERT_EQ(shmgrSetLen(held, 100), 1);
    SHMGR_BLOCK stale = held;
    ASSERT_EQ(shmgrReturnMemory(writer, &held), 1);
    EXPECT_EQ(shmgrReturnMemory(writer, &stale), 0);
    EXPECT_EQ(shmgrSetLen(stale, 1), 0);
    EXPECT_EQ(errno, EINVAL);
    ASSERT_EQ(shmgrRequestMemory(other, 0, 0, &held), 1);
    EXPECT_EQ(shmgrReturnMemory(other, &held), 1);

    ASSERT_TRUE(next());
    EXPECT_EQ(info.length, 100);
    EXPECT_TRUE(next() && !next());
}

// A writer that disconnects holding a block drops it; one in another process
// publishes a block and dies holding the next: the channel is freed all the
// same, and the dropped blocks' numbers are used again.
TEST_F(Stream, BlockOfAWriterThatLeftIsDroppedAndTheChannelFreed) {
    SHMGR_BLOCK block = nullptr;
    ASSERT_EQ(shmgrRequestMemory(writer, 0, 0, &block), 1);
    ASSERT_EQ(shmgrDisconnect(&writer), 1);
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

    ASSERT_EQ(shmgrRequestMemory(other, 0, 0, &block), 1);
    ASSERT_EQ(shmgrReturnMemory(other, &block), 1);
    ASSERT_TRUE(next());
    EXPECT_EQ(info.length, -1);
    ASSERT_TRUE(next());
    EXPECT_EQ(info.sequence, 2u);
    EXPECT_EQ(info.length, SHMGR_LENGTH_UNSET);
    EXPECT_EQ(info.iframe, 1);
    EXPECT_FALSE(next());
}

TEST_F(Stream, ObjectOfAnotherLayoutIsRefused) {
    char name[NAME_MAX + 1];
    snprintf(name, sizeof name, "%s.1", getenv("SHMGR_PREFIX"));
    int fd = shm_open(name, O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 4096), 0);
    close(fd);
    SHMGR_READER foreign = nullptr;
    EXPECT_EQ(shmgrReaderAttach(1, &foreign), 0);
    EXPECT_EQ(errno, EPROTO);
    SHMGR_BLOCK block = nullptr;
    EXPECT_EQ(shmgrRequestMemory(writer, 1, 0, &block), 0);
    EXPECT_EQ(errno, EPROTO);
}

namespace {

// Maps the object of `channel` as another program of the board could.
shmgr::Channel* foreign_mapping(int channel, int* fd) {
    char name[NAME_MAX + 1];
    snprintf(name, sizeof name, "%s.%d", getenv("SHMGR_PREFIX"), channel);
    *fd = shm_open(name, O_RDWR, 0);
    void* at = mmap(nullptr, sizeof(shmgr::Channel), PROT_READ | PROT_WRITE, MAP_SHARED, *fd, 0);
    return at == MAP_FAILED ? nullptr : static_cast<shmgr::Channel*>(at);
}

} // namespace

// Another program zeroes, shrinks or removes the channel under a reader and
// a writer: neither dies of SIGBUS nor falls silent for good, and each
// learns what happened.
TEST_F(Stream, ChannelZeroedShrunkOrRemovedUnderReaderAndWriter) {
    for (int i = 0; i < 3; ++i)
        publish(1, i);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(next());
    int fd = -1;
    shmgr::Channel* foreign = foreign_mapping(0, &fd);
    ASSERT_NE(foreign, nullptr);
    memset(foreign, 0, sizeof *foreign);
    publish(5, 0x55);
    ASSERT_TRUE(next()) << "a zeroed channel starts again from block 1";
    EXPECT_EQ(info.sequence, 1u);
    EXPECT_EQ(info.length, 5);
    munmap(foreign, sizeof *foreign);

    ASSERT_EQ(ftruncate(fd, 4096), 0);
    SHMGR_BLOCK block = nullptr;
    EXPECT_EQ(shmgrRequestMemory(writer, 0, 0, &block), 0);
    EXPECT_EQ(errno, EPROTO);
    EXPECT_EQ(shmgrReaderNext(reader, &info, data.data(), SHMGR_BLOCK_SIZE, 0), -1);
    EXPECT_EQ(errno, EPROTO);
    char why[256];
    shmgrDescribeChannel(0, EPROTO, why, sizeof why);
    EXPECT_EQ(std::string(why), std::string(getenv("SHMGR_PREFIX")) +
                                    ".0 has 4096 bytes, not the " +
                                    std::to_string(sizeof(shmgr::Channel)) + " of a channel");
    close(fd);

    ASSERT_EQ(shmgrRemoveChannel(0), 1);
    EXPECT_EQ(shmgrReaderNext(reader, &info, data.data(), SHMGR_BLOCK_SIZE, 0), -1);
    EXPECT_EQ(errno, EIDRM);
    shmgrReaderDetach(&reader);
    ASSERT_EQ(shmgrReaderAttach(0, &reader), 1) << "the channel comes back under its name";
    publish(7, 0x77);
    ASSERT_TRUE(next()) << "the writer follows the channel to its new object";
    EXPECT_EQ(info.sequence, 1u);
    EXPECT_EQ(info.length, 7);
}

TEST(StreamName, MalformedPrefixIsNamed) {
    setenv("SHMGR_PREFIX", "no-slash", 1);
    SHMGR_CONNECTION connection = nullptr;
    EXPECT_EQ(shmgrConnect("test", 0, &connection), 0);
    char why[256];
    shmgrDescribeChannel(0, errno, why, sizeof why);
    EXPECT_EQ(std::string(why).find("SHMGR_PREFIX \"no-slash\" does not make a shared-memory name"),
              0u)
        << why;
    unsetenv("SHMGR_PREFIX");
}
