#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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
