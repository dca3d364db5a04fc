#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/wait.h>
#include <atomic>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/shmgr/stream_fixture.h"

namespace {

// Publishes one block on channel 0 whose data is `length` bytes of `fill`.
void publish(SHMGR_CONNECTION connection, int length, unsigned char fill) {
    SHMGR_BLOCK block = nullptr;
    ASSERT_EQ(shmgrRequestMemory(connection, 0, SHMGR_BLOCK_SIZE, &block), 1);
    if (length > 0) {
        memset(shmgrGetData(connection, block), fill, static_cast<size_t>(length));
    }
    ASSERT_EQ(shmgrSetLen(block, length), 1);
    ASSERT_EQ(shmgrReturnMemory(connection, &block), 1);
    EXPECT_EQ(block, nullptr);
}

struct Reader {
    SHMGR_READER handle = nullptr;
    shmgr_block_info info{};
    std::vector<unsigned char> data = std::vector<unsigned char>(SHMGR_BLOCK_SIZE);

    explicit Reader(int channel = 0) { EXPECT_EQ(shmgrReaderAttach(channel, &handle), 1); }
    ~Reader() { shmgrReaderDetach(&handle); }
    int next(int timeout_ms = 0) {
        return shmgrReaderNext(handle, &info, data.data(), static_cast<int>(data.size()),
                               timeout_ms);
    }
};

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
    SHMGR_CONNECTION writer = nullptr;
};

} // namespace

TEST_F(Stream, ReaderAttachedMidStreamSeesEveryLaterBlockInOrder) {
    for (int i = 0; i < 5; ++i) {
        publish(writer, 10, 0xEE);
    }
    Reader reader;
    EXPECT_EQ(reader.next(), 0);
    for (int i = 0; i < SHMGR_RING_BLOCKS; ++i) {
        publish(writer, 100 + i, static_cast<unsigned char>(i));
    }
    for (int i = 0; i < SHMGR_RING_BLOCKS; ++i) {
        ASSERT_EQ(reader.next(), 1);
        EXPECT_EQ(reader.info.sequence, static_cast<uint32_t>(6 + i));
        EXPECT_EQ(reader.info.length, 100 + i);
        EXPECT_EQ(reader.info.missed, 0u);
        EXPECT_EQ(reader.data[0], i);
        EXPECT_EQ(reader.data[99 + i], i);
    }
    EXPECT_EQ(reader.next(), 0);
}

TEST_F(Stream, SlowReaderLosesTheOldestBlocksAndIsToldHowMany) {
    Reader reader;
    const int published = 3 * SHMGR_RING_BLOCKS + 5;
    for (int i = 1; i <= published; ++i) {
        publish(writer, 1, static_cast<unsigned char>(i));
    }
    const int first_kept = published - SHMGR_RING_BLOCKS + 1;
    ASSERT_EQ(reader.next(), 1);
    EXPECT_EQ(reader.info.sequence, static_cast<uint32_t>(first_kept));
    EXPECT_EQ(reader.info.missed, static_cast<uint32_t>(first_kept - 1));
    EXPECT_EQ(reader.data[0], first_kept);
    for (int i = first_kept + 1; i <= published; ++i) {
        ASSERT_EQ(reader.next(), 1);
        EXPECT_EQ(reader.info.sequence, static_cast<uint32_t>(i));
        EXPECT_EQ(reader.info.missed, 0u);
    }
}

TEST_F(Stream, HeaderValuesArePublishedAsSet) {
    Reader reader;
    const int lengths[] = {-1, 0, 116};
    for (int length : lengths) {
        SHMGR_BLOCK block = nullptr;
        ASSERT_EQ(shmgrRequestMemory(writer, 0, length > 0 ? length : 0, &block), 1);
        EXPECT_EQ(shmgrSetLen(block, length), 1);
        EXPECT_EQ(shmgrSetFrameTime(block, -5000000000LL), 1);
        EXPECT_EQ(shmgrSetActivity(block, -7), 1);
        EXPECT_EQ(shmgrSetFrameNumber(block, 0xFFFFFFF0u), 1);
        ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
        ASSERT_EQ(reader.next(), 1);
        EXPECT_EQ(reader.info.length, length);
        EXPECT_EQ(reader.info.frame_time, -5000000000LL);
        EXPECT_EQ(reader.info.activity, -7);
        EXPECT_EQ(reader.info.frame_number, 0xFFFFFFF0u);
    }
}

TEST_F(Stream, FreshBlockCarriesRequestTimeAndItsSequence) {
    for (int i = 0; i < 3; ++i) {
        publish(writer, 0, 0);
    }
    Reader reader;
    timespec before;
    clock_gettime(CLOCK_REALTIME, &before);
    SHMGR_BLOCK block = nullptr;
    ASSERT_EQ(shmgrRequestMemory(writer, 0, 0, &block), 1);
    timespec after;
    clock_gettime(CLOCK_REALTIME, &after);
    ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
    ASSERT_EQ(reader.next(), 1);
    EXPECT_EQ(reader.info.length, 0);
    EXPECT_EQ(reader.info.activity, 0);
    EXPECT_EQ(reader.info.frame_number, 4u);
    EXPECT_GE(reader.info.frame_time, before.tv_sec * 1000000LL + before.tv_nsec / 1000);
    EXPECT_LE(reader.info.frame_time, after.tv_sec * 1000000LL + after.tv_nsec / 1000);
}

TEST_F(Stream, IFrameBitOnEachWritersFirstBlockAndEveryIntervalAfter) {
    Reader reader;
    for (int i = 0; i < 2 * SHMGR_IFRAME_INTERVAL + 1; ++i) {
        SHMGR_BLOCK block = nullptr;
        ASSERT_EQ(shmgrRequestMemory(writer, 0, 0, &block), 1);
        int iframe = -1;
        ASSERT_EQ(shmgrGetIFrameBit(block, &iframe), 1);
        EXPECT_EQ(iframe, i % SHMGR_IFRAME_INTERVAL == 0 ? 1 : 0) << "block " << i;
        ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
        ASSERT_EQ(reader.next(), 1);
        EXPECT_EQ(reader.info.iframe, iframe);
    }
    SHMGR_CONNECTION second = nullptr;
    ASSERT_EQ(shmgrConnect("second writer", 0, &second), 1);
    SHMGR_BLOCK block = nullptr;
    ASSERT_EQ(shmgrRequestMemory(second, 0, 0, &block), 1);
    int iframe = 0;
    EXPECT_EQ(shmgrGetIFrameBit(block, &iframe), 1);
    EXPECT_EQ(iframe, 1);
    EXPECT_EQ(shmgrDisconnect(&second), 1);
}

namespace {

// The block the concurrent test's writer published as `sequence`.
bool whole_block(const Reader& reader, uint32_t sequence) {
    EXPECT_EQ(reader.info.sequence, sequence);
    const int length = 1000 + static_cast<int>(sequence % 7) * 9000;
    EXPECT_EQ(reader.info.length, length);
    const unsigned char fill = static_cast<unsigned char>(sequence & 0xFF);
    int wrong = 0;
    for (int k = 0; k < length; ++k) {
        wrong += reader.data[k] != fill;
    }
    EXPECT_EQ(wrong, 0) << "block " << sequence;
    return reader.info.sequence == sequence && reader.info.length == length && wrong == 0;
}

} // namespace

// Every block a reader accepts while the writer races through the ring must
// be whole: data and length written for the same sequence number. Blocks it
// does not get must be counted as missed, never silently skipped.
TEST_F(Stream, ConcurrentReaderNeverSeesATornBlockAndAccountsForAll) {
    const uint32_t total = 20000;
    Reader reader;
    std::atomic<bool> written(false);
    std::thread writing([this, &written] {
        for (uint32_t i = 1; i <= total; ++i) {
            SHMGR_BLOCK block = nullptr;
            ASSERT_EQ(shmgrRequestMemory(writer, 0, SHMGR_BLOCK_SIZE, &block), 1);
            int length = 1000 + static_cast<int>(i % 7) * 9000;
            memset(shmgrGetData(writer, block), static_cast<int>(i & 0xFF),
                   static_cast<size_t>(length));
            shmgrSetLen(block, length);
            ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
        }
        written = true;
    });
    uint32_t accounted = 0;
    uint32_t delivered = 0;
    // Polling without pause keeps the reader inside the ring, where the
    // writer overtakes it in the middle of copies.
    while (accounted < total) {
        bool finished = written;
        if (reader.next() != 1) {
            if (finished) {
                break;
            }
            continue;
        }
        ++delivered;
        accounted += reader.info.missed + 1;
        if (!whole_block(reader, accounted)) {
            break;
        }
    }
    writing.join();
    EXPECT_EQ(accounted, total);
    EXPECT_GT(delivered, 0u);
}

TEST_F(Stream, ReaderInAnotherProcessFollowsTheWriter) {
    Reader reader;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SHMGR_CONNECTION own = nullptr;
        bool ok = shmgrConnect("child writer", 0, &own) == 1;
        for (int i = 0; i < 3 && ok; ++i) {
            SHMGR_BLOCK block = nullptr;
            ok = shmgrRequestMemory(own, 0, 8, &block) == 1 && shmgrSetLen(block, 8) == 1 &&
                 memcpy(shmgrGetData(own, block), "childblk", 8) != nullptr &&
                 shmgrReturnMemory(own, &block) == 1;
        }
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(reader.next(), 1);
        EXPECT_EQ(memcmp(reader.data.data(), "childblk", 8), 0);
    }
}
