#include <atomic>
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
    }
    void TearDown() override {
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
