#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/shmgr/stream_fixture.h"
#include "tools/shmgr-dump/shmgr_dump.h"

namespace {

// What was written to the stream, once it is closed.
std::string closed_text(FILE* stream, char** buffer, size_t* size) {
    fclose(stream);
    std::string text(*buffer, *size);
    free(*buffer);
    return text;
}

const unsigned char fake_jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0xFF, 0xD9};

std::string repeated(const char* text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

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
    void publish(const void* bytes, int length) {
        SHMGR_BLOCK block = nullptr;
        ASSERT_EQ(shmgrRequestMemory(writer, 0, length > 0 ? length : 0, &block), 1);
        if (length > 0) {
            memcpy(shmgrGetData(writer, block), bytes, length);
        }
        shmgrSetLen(block, length);
        shmgrSetFrameTime(block, 42);
        ASSERT_EQ(shmgrReturnMemory(writer, &block), 1);
    }
    void publish_passage(const _parking_rec_t& rec) {
        std::vector<unsigned char> bytes(sizeof rec + sizeof fake_jpeg);
        memcpy(bytes.data(), &rec, sizeof rec);
        memcpy(bytes.data() + sizeof rec, fake_jpeg, sizeof fake_jpeg);
        publish(bytes.data(), static_cast<int>(bytes.size()));
    }
    // Runs the dump over what has been published; its output and errors.
    int dump(const DumpOptions& options) {
        char* out_buffer = nullptr;
        char* err_buffer = nullptr;
        size_t out_size = 0;
        size_t err_size = 0;
        FILE* out_stream = open_memstream(&out_buffer, &out_size);
        FILE* err_stream = open_memstream(&err_buffer, &err_size);
        int status = dump_stream(reader, options, out_stream, err_stream);
        out = closed_text(out_stream, &out_buffer, &out_size);
        err = closed_text(err_stream, &err_buffer, &err_size);
        return status;
    }
    SHMGR_CONNECTION writer = nullptr;
    std::string out;
    std::string err;
};

} // namespace

TEST_F(ShmgrDump, PassageIsDecodedToUtf8AndItsJpegSaved) {
    publish_passage(exit_record());
    publish(nullptr, -1);
    const char* base = getenv("DRAVEL_TEST_TMP");
    const std::string dir = std::string(base != nullptr ? base : "/tmp") + "/shmgr-dump";
    mkdir(base != nullptr ? base : "/tmp", 0755);
    mkdir(dir.c_str(), 0755);
    DumpOptions options;
    options.count = 2;
    options.jpeg_dir = dir.c_str();
    EXPECT_EQ(dump(options), 0);
    EXPECT_EQ(out, "block 1 length 124 time 42 activity 0 frame 1 iframe 1\n"
                   "  passage time 1700000000 (2023-11-14 22:13:20 UTC) number \"A123BC77\" "
                   "kind 2 in_list 1 access -1\n"
                   "  text \"" +
                       repeated("в", 64) +
                       "\"\n"
                       "  summary \"Иванов: въезд (0+1)\"\n"
                       "block 2 length -1 time 42 activity 0 frame 2 iframe 0\n");
    EXPECT_EQ(err, "");
    FILE* saved = fopen((dir + "/block-1.jpeg").c_str(), "rb");
    ASSERT_NE(saved, nullptr);
    unsigned char bytes[sizeof fake_jpeg + 1];
    EXPECT_EQ(fread(bytes, 1, sizeof bytes, saved), sizeof fake_jpeg);
    fclose(saved);
    EXPECT_EQ(memcmp(bytes, fake_jpeg, sizeof fake_jpeg), 0);
}

TEST_F(ShmgrDump, ForeignBytesInTheRecordAreShownSafely) {
    _parking_rec_t rec = exit_record();
    memset(rec.number, 'N', sizeof rec.number); // no terminator before the kind byte
    memcpy(rec.text, "a\x1b[2Jb\"\\\0", 9);
    memset(rec.summary, 0xC0, sizeof rec.summary); // no terminator at all
    publish(&rec, sizeof rec);
    DumpOptions options;
    options.count = 1;
    options.jpeg_dir = "/nonexistent-folder"; // a record alone leaves nothing to save
    EXPECT_EQ(dump(options), 0);
    EXPECT_NE(out.find("number \"NNNNNNNNNNNNN\" kind 2"), std::string::npos) << out;
    EXPECT_NE(out.find("  text \"a\\x1B[2Jb\\x22\\x5C\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  summary \"" + repeated("А", 32) + "\"\n"), std::string::npos) << out;
}

TEST_F(ShmgrDump, PassagesOnlyStillReportsLostBlocks) {
    for (int i = 0; i < 2 * SHMGR_RING_BLOCKS; ++i) {
        publish(nullptr, -1);
    }
    publish_passage(exit_record());
    DumpOptions options;
    options.count = 1;
    options.passages_only = true;
    options.jpeg_dir = "/nonexistent-folder";
    EXPECT_EQ(dump(options), 1);
    EXPECT_EQ(out.find("missed " + std::to_string(SHMGR_RING_BLOCKS + 1) + " blocks\nblock " +
                       std::to_string(2 * SHMGR_RING_BLOCKS + 1) + " length 124"),
              0u)
        << out;
    EXPECT_EQ(out.find("length -1"), std::string::npos);
    EXPECT_NE(err.find("can't create /nonexistent-folder/block-33.jpeg"), std::string::npos);
}

TEST(ShmgrDumpCommandLine, HelpBadValuesAndUnreachableStream) {
    struct Case {
        std::vector<const char*> arguments;
        int status;
    };
    const Case cases[] = {
        {{"--help"}, 0},         {{"--count", "0"}, 2},    {{"--count", "12x"}, 2},
        {{"--channel", "8"}, 2}, {{"--seconds", "-1"}, 2}, {{"--bogus"}, 2},
        {{"--count"}, 2},        {{"extra"}, 2},           {{"--count=1"}, 1},
    };
    setenv("SHMGR_PREFIX", "no-slash", 1); // the stream cannot be reached
    for (const Case& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("shmgr-dump")};
        for (const char* argument : c.arguments) {
            argv.push_back(const_cast<char*>(argument));
        }
        char* buffer = nullptr;
        size_t size = 0;
        FILE* stream = open_memstream(&buffer, &size);
        EXPECT_EQ(shmgr_dump_main(static_cast<int>(argv.size()), argv.data(), stream, stream),
                  c.status)
            << c.arguments[0];
        const std::string shown = closed_text(stream, &buffer, &size);
        const char* expected = c.status == 1 ? "can't attach to channel 0" : "Usage: shmgr-dump";
        EXPECT_NE(shown.find(expected), std::string::npos) << c.arguments[0];
    }
    unsetenv("SHMGR_PREFIX");
}
