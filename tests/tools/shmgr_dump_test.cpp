#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/golden.h"
#include "tests/shmgr/stream_fixture.h"
#include "tests/support/scratch_dir.h"
#include "tests/tools/tool_run.h"
#include "tools/shmgr-dump/shmgr_dump.h"

namespace {

const std::string JPEG("\xFF\xD8\xFF\xE0\x00\x10\xFF\xD9", 8);

class ShmgrDump : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        ASSERT_EQ(shmgrConnect("dump test", 0, &writer), 1);
    }
    void TearDown() override {
        shmgrDisconnect(&writer);
        StreamTest::TearDown();
    }
    // Publishes `bytes`; none make a block of length -1.
    void publish(const std::string& bytes = "") {
        SHMGR_BLOCK block = nullptr;
        ASSERT_EQ(shmgrRequestMemory(writer, 0, static_cast<int>(bytes.size()), &block), 1);
        if (!bytes.empty())
            memcpy(shmgrGetData(writer, block), bytes.data(), bytes.size());
        shmgrSetLen(block, bytes.empty() ? -1 : static_cast<int>(bytes.size()));
        shmgrSetFrameTime(block, 42);
        shmgrSetActivity(block, 0);
        ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
    }
    // Runs the dump over what has been published; its output and errors.
    int dump(const DumpOptions& options) {
        StreamCapture out_stream, err_stream;
        const int status = dump_stream(&reader, options, out_stream.stream, err_stream.stream);
        out = out_stream.text();
        err = err_stream.text();
        return status;
    }
    SHMGR_CONNECTION writer = nullptr;
    std::string out;
    std::string err;
};

} // namespace

// Record fields come from another program: shown within their bytes, with
// control bytes escaped; a record without a JPEG leaves nothing to save.
// (A whole passage and its saved JPEG are read on every simulated board.)
TEST_F(ShmgrDump, ForeignBytesOfAPassageAreShownSafely) {
    _parking_rec_t foreign = exit_record();
    memset(foreign.number, 'N', sizeof foreign.number); // no terminator before the kind byte
    memcpy(foreign.text, "a\x1b[2Jb\"\\\0", 9);
    memset(foreign.summary, 0xC0, sizeof foreign.summary); // no terminator at all
    publish(bytes_of(foreign));
    publish();
    const std::string dir = empty_scratch_dir("shmgr-dump");
    DumpOptions options;
    options.count = 2;
    options.jpeg_dir = dir.c_str();
    EXPECT_EQ(dump(options), 0);
    EXPECT_TRUE(matches_golden("tools/golden/shmgr-dump-blocks.txt", out));
    EXPECT_EQ(err, "");
    EXPECT_NE(access((dir + "/block-1.jpeg").c_str(), F_OK), 0);

    // A header claiming more than a block: the reader delivered one block.
    shmgr_block_info claimed = {};
    claimed.sequence = 4;
    claimed.length = SHMGR_BLOCK_SIZE + 1;
    const std::vector<unsigned char> delivered(SHMGR_BLOCK_SIZE);
    StreamCapture errors;
    EXPECT_EQ(save_block_jpeg(dir.c_str(), claimed, delivered.data(), errors.stream), -1);
    EXPECT_NE(errors.text().find("block 4 claims 65537 bytes"), std::string::npos);
    EXPECT_NE(access((dir + "/block-4.jpeg").c_str(), F_OK), 0);
}

TEST_F(ShmgrDump, PassagesOnlyStillReportsLostBlocks) {
    for (int i = 0; i < 2 * SHMGR_RING_BLOCKS; ++i)
        publish();
    publish(bytes_of(exit_record()) + JPEG);
    DumpOptions options;
    options.count = 1;
    options.passages_only = true;
    options.jpeg_dir = "/nonexistent-folder";
    EXPECT_EQ(dump(options), 1);
    EXPECT_EQ(out.find("missed " + std::to_string(SHMGR_RING_BLOCKS + 1) + " blocks\nblock " +
                       std::to_string(2 * SHMGR_RING_BLOCKS + 1) + " length 124"),
              0u)
        << out;
    EXPECT_NE(err.find("can't create /nonexistent-folder/block-33.jpeg"), std::string::npos);
}

// A channel removed under the dump is told of, waited for and followed
// again; with --once the dump ends with a failure instead. An output that
// cannot be written ends it too.
TEST_F(ShmgrDump, RemovedChannelIsWaitedForAndOutputChecked) {
    const std::string name = std::string(getenv("SHMGR_PREFIX")) + ".0";
    DumpOptions options;
    options.count = 1;
    options.once = true;
    ASSERT_EQ(shmgrRemoveChannel(0), 1);
    EXPECT_EQ(dump(options), 1);
    EXPECT_EQ(err, "shmgr-dump: channel 0: " + name + " was removed\n");
    EXPECT_EQ(reader, nullptr);

    ASSERT_EQ(shmgrReaderAttach(0, &reader), 1);
    ASSERT_EQ(shmgrRemoveChannel(0), 1);
    std::atomic<bool> done(false);
    std::thread writing([this, &done] {
        // Until the dump has seen a block of the channel that came back.
        while (!done) {
            publish("x");
            usleep(20000);
        }
    });
    options.once = false;
    options.seconds = 60;
    EXPECT_EQ(dump(options), 0);
    done = true;
    writing.join();
    EXPECT_EQ(err,
              "shmgr-dump: channel 0: " + name +
                  " was removed; waiting for it to come back\nshmgr-dump: channel 0 is back\n");
    EXPECT_EQ(out.find("block "), 0u) << out;

    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    publish();
    StreamCapture errors;
    EXPECT_EQ(dump_stream(&reader, options, full, errors.stream), 1);
    fclose(full);
    EXPECT_EQ(errors.text(), "shmgr-dump: cannot write the output: No space left on device\n");
}

TEST(ShmgrDumpCommandLine, HelpBadValuesAndUnreachableStream) {
    setenv("SHMGR_PREFIX", "no-slash", 1); // the stream cannot be reached
    Transcript runs;
    for (const char* line : {"--help", "--count 0", "--count 12x", "--channel 8", "--seconds -1",
                             "--bogus", "--count", "extra", "--count=1"})
        runs.run(shmgr_dump_main, {"shmgr-dump"}, words_of(line));
    unsetenv("SHMGR_PREFIX");
    EXPECT_TRUE(matches_golden("tools/golden/shmgr-dump-command-line.txt", runs.text));
}
