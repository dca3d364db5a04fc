// The stream dump over a stream of the test's own; what it wrote is in
// tests/tools/golden/shmgr-dump-*.txt.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/shmgr/stream_fixture.h"
#include "tests/tools/tool_run.h"
#include "tools/shmgr-dump/shmgr_dump.h"

namespace {

class ShmgrDump : public StreamTest {
  protected:
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
    // Runs the dump over what has been published, into the transcript as
    // `line`, its output unless `out` takes it.
    int dump(const std::string& line, const DumpOptions& options, FILE* out = nullptr) {
        StreamCapture out_stream, err_stream;
        const int status = dump_stream(&reader, options, out != nullptr ? out : out_stream.stream,
                                       err_stream.stream);
        runs.out = out_stream.text();
        runs.err = replaced(err_stream.text(), getenv("SHMGR_PREFIX"), "PREFIX");
        runs.note(line, status);
        return status;
    }
    SHMGR_CONNECTION writer = nullptr;
    Transcript runs;
};

} // namespace

// Record fields come from another program: shown within their bytes, with
// control bytes escaped; a record without a JPEG leaves nothing to save, and
// a header claiming more than the block the reader delivered saves nothing.
// (A whole passage and its saved JPEG are read on every simulated board.)
// Blocks lost while only passages are shown are still reported. A channel
// removed under the dump is told of, waited for and followed again; with
// --once the dump ends with a failure instead. An output that cannot be
// written ends it too.
TEST_F(ShmgrDump, ForeignBytesLostBlocksRemovedChannelAndFullOutput) {
    ASSERT_EQ(shmgrConnect("dump test", 0, &writer), 1);
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
    dump("$ --count 2 --jpeg-dir DIR", options);
    shmgr_block_info claimed = {};
    claimed.sequence = 4;
    claimed.length = SHMGR_BLOCK_SIZE + 1;
    StreamCapture errors;
    runs.out = "";
    const int saved = save_block_jpeg(dir.c_str(), claimed, data.data(), errors.stream);
    runs.err = errors.text();
    runs.note("# block 4 claims " + std::to_string(claimed.length) + " bytes", saved);
    EXPECT_FALSE(exists(dir + "/block-1.jpeg") || exists(dir + "/block-4.jpeg"));

    for (int i = 0; i < 2 * SHMGR_RING_BLOCKS; ++i)
        publish();
    publish(bytes_of(exit_record()) + std::string("\xFF\xD8\xFF\xE0\x00\x10\xFF\xD9", 8));
    options.count = 1;
    options.passages_only = true;
    options.jpeg_dir = "/nonexistent-folder";
    dump("$ --count 1 --passages --jpeg-dir /nonexistent-folder", options);

    options = DumpOptions();
    options.count = 1;
    options.once = true;
    ASSERT_EQ(shmgrRemoveChannel(0), 1);
    dump("# channel removed\n$ --count 1 --once", options);
    EXPECT_EQ(reader, nullptr);
    publish(); // the writer makes the channel again
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
    StreamCapture blocks;
    dump("# channel removed\n$ --count 1 --seconds 60", options, blocks.stream);
    done = true;
    writing.join();
    EXPECT_EQ(blocks.text().find("block "), 0u);

    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    publish();
    dump("$ --count 1 --seconds 60 >/dev/full", options, full);
    fclose(full);
    shmgrDisconnect(&writer);
    EXPECT_TRUE(matches_golden("tools/golden/shmgr-dump-blocks.txt", runs.text));
}

// A channel no writer has made is never made by the dump: it fails, or
// waits for it.
TEST(ShmgrDumpCommandLine, HelpBadValuesAndUnreachableStream) {
    setenv("SHMGR_PREFIX", "no-slash", 1); // the stream cannot be reached
    Transcript runs;
    for (const char* line : {"--help", "--count 0", "--count 12x", "--channel 8", "--seconds -1",
                             "--bogus", "--count", "extra", "--count=1"})
        runs.run(shmgr_dump_main, {"shmgr-dump"}, words_of(line));
    setenv("SHMGR_PREFIX", "/dravel-test-no-writer", 1);
    for (const char* line : {"--count 1", "--wait --seconds 1"})
        runs.run(shmgr_dump_main, {"shmgr-dump"}, words_of(line));
    EXPECT_FALSE(exists("/dev/shm/dravel-test-no-writer.0"));
    unsetenv("SHMGR_PREFIX");
    EXPECT_TRUE(matches_golden("tools/golden/shmgr-dump-command-line.txt", runs.text));
}
