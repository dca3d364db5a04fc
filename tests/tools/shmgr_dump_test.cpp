#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "records/parking_rec.h"
#include "tests/shmgr/stream_fixture.h"
#include "tools/shmgr-dump/shmgr_dump.h"

namespace {

// Text written to a FILE*, read back when the stream is closed.
class Captured {
  public:
    Captured() : stream(open_memstream(&buffer, &size)) {}
    ~Captured() {
        close();
        free(buffer);
    }
    std::string text() {
        close();
        return std::string(buffer, size);
    }
    FILE* stream;

  private:
    void close() {
        if (stream != nullptr) {
            fclose(stream);
            stream = nullptr;
        }
    }
    char* buffer = nullptr;
    size_t size = 0;
};

const unsigned char fake_jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0xFF, 0xD9};

_parking_rec_t exit_record() {
    _parking_rec_t rec;
    memset(&rec, 0, sizeof rec);
    rec.time = 1700000000;
    memcpy(rec.number, "A123BC77", 8);
    rec.kind = 2;
    rec.in_list = 1;
    rec.access = -1;
    memset(rec.text, 0xE2, sizeof rec.text); // "в" to the field's last byte
    const char summary[] = "\xC8\xE2\xE0\xED\xEE\xE2: \xE2\xFA\xE5\xE7\xE4 (0+1)";
    memcpy(rec.summary, summary, sizeof summary);
    return rec;
}

class ShmgrDump : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        ASSERT_EQ(shmgrConnect("dump test", 0, &writer), 1);
        ASSERT_EQ(shmgrReaderAttach(0, &reader), 1);
    }
    void TearDown() override {
        shmgrReaderDetach(&reader);
        shmgrDisconnect(&writer);
        StreamTest::TearDown();
    }
    void publish(const void* bytes, int length) {
        SHMGR_BLOCK block = nullptr;
        ASSERT_EQ(shmgrRequestMemory(writer, 0, length > 0 ? length : 0, &block), 1);
        if (length > 0) {
            memcpy(shmgrGetData(writer, block), bytes, static_cast<size_t>(length));
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
    SHMGR_CONNECTION writer = nullptr;
    SHMGR_READER reader = nullptr;
};

std::string scratch_dir() {
    const char* base = getenv("DRAVEL_TEST_TMP");
    std::string dir = std::string(base != nullptr ? base : "/tmp") + "/shmgr-dump";
    mkdir(base != nullptr ? base : "/tmp", 0755);
    mkdir(dir.c_str(), 0755);
    return dir;
}

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file != nullptr) {
        int c;
        while ((c = fgetc(file)) != EOF) {
            bytes.push_back(static_cast<unsigned char>(c));
        }
        fclose(file);
    }
    return bytes;
}

} // namespace

TEST_F(ShmgrDump, PassageIsDecodedToUtf8AndItsJpegSaved) {
    publish_passage(exit_record());
    publish(nullptr, -1);
    DumpOptions options;
    options.count = 2;
    const std::string dir = scratch_dir();
    options.jpeg_dir = dir.c_str();
    Captured out;
    Captured err;
    EXPECT_EQ(dump_stream(reader, options, out.stream, err.stream), 0);
    std::string text_u8;
    for (int i = 0; i < 64; ++i) {
        text_u8 += "в";
    }
    EXPECT_EQ(out.text(), "block 1 length 124 time 42 activity 0 frame 1 iframe 1\n"
                          "  passage time 1700000000 (2023-11-14 22:13:20 UTC) number \"A123BC77\" "
                          "kind 2 in_list 1 access -1\n"
                          "  text \"" +
                              text_u8 +
                              "\"\n"
                              "  summary \"Иванов: въезд (0+1)\"\n"
                              "block 2 length -1 time 42 activity 0 frame 2 iframe 0\n");
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(file_bytes(dir + "/block-1.jpeg"),
              std::vector<unsigned char>(fake_jpeg, fake_jpeg + sizeof fake_jpeg));
}

TEST_F(ShmgrDump, ForeignBytesInTheRecordAreShownSafely) {
    _parking_rec_t rec = exit_record();
    memset(rec.number, 'N', sizeof rec.number); // no terminator before the kind byte
    memcpy(rec.text, "a\x1b[2Jb\"\\\0", 9);
    memset(rec.summary, 0xC0, sizeof rec.summary); // no terminator at all
    publish(&rec, sizeof rec);
    DumpOptions options;
    options.count = 1;
    options.jpeg_dir = "/nonexistent-folder";
    Captured out;
    Captured err;
    // A record without a JPEG leaves nothing to save.
    EXPECT_EQ(dump_stream(reader, options, out.stream, err.stream), 0);
    std::string summary_u8;
    for (int i = 0; i < 32; ++i) {
        summary_u8 += "А";
    }
    const std::string shown = out.text();
    EXPECT_NE(shown.find("number \"NNNNNNNNNNNNN\" kind 2"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  text \"a\\x1B[2Jb\\x22\\x5C\"\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  summary \"" + summary_u8 + "\"\n"), std::string::npos) << shown;
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
    Captured out;
    Captured err;
    EXPECT_EQ(dump_stream(reader, options, out.stream, err.stream), 1);
    const std::string shown = out.text();
    EXPECT_EQ(shown.find("missed " + std::to_string(SHMGR_RING_BLOCKS + 1) + " blocks\nblock " +
                         std::to_string(2 * SHMGR_RING_BLOCKS + 1) + " length 124"),
              0u)
        << shown;
    EXPECT_EQ(shown.find("length -1"), std::string::npos);
    EXPECT_NE(err.text().find("can't create /nonexistent-folder/block-33.jpeg"), std::string::npos);
}

TEST(ShmgrDumpCommandLine, HelpBadValuesAndUnreachableStream) {
    struct Case {
        std::vector<const char*> arguments;
        int status;
    };
    const Case cases[] = {
        {{"--help"}, 0},         {{"--count", "0"}, 2},    {{"--count", "12x"}, 2},
        {{"--channel", "8"}, 2}, {{"--seconds", "-1"}, 2}, {{"--bogus"}, 2},
        {{"--count"}, 2},        {{"extra"}, 2},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("shmgr-dump")};
        for (const char* argument : c.arguments) {
            argv.push_back(const_cast<char*>(argument));
        }
        argv.push_back(nullptr);
        Captured out;
        Captured err;
        EXPECT_EQ(
            shmgr_dump_main(static_cast<int>(argv.size() - 1), argv.data(), out.stream, err.stream),
            c.status)
            << c.arguments[0];
        const std::string usage = c.status == 0 ? out.text() : err.text();
        EXPECT_NE(usage.find("Usage: shmgr-dump"), std::string::npos) << c.arguments[0];
    }

    setenv("SHMGR_PREFIX", "no-slash", 1);
    char name[] = "shmgr-dump";
    char count[] = "--count=1";
    char* argv[] = {name, count, nullptr};
    Captured out;
    Captured err;
    EXPECT_EQ(shmgr_dump_main(2, argv, out.stream, err.stream), 1);
    EXPECT_NE(err.text().find("can't attach to channel 0"), std::string::npos);
    unsetenv("SHMGR_PREFIX");
}
