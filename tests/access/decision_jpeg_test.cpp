#include <dlfcn.h>
#include <string>
#include <vector>

#include "tests/access/decision_fixture.h"
#include "tests/common/failing_malloc.h"
#include "tests/links/passage_frames.h"

namespace {

int memory_streams = 0;

} // namespace

// Every attempt of the encoder to make a JPEG in memory opens one memory
// stream. Counted here, at the C library's boundary, they count the
// encodings of a passage with no hook in the service, whoever encodes.
extern "C" FILE* fmemopen(void* buffer, size_t size, const char* mode) noexcept {
    using fmemopen_t = FILE* (*)(void*, size_t, const char*);
    static const fmemopen_t library = reinterpret_cast<fmemopen_t>(dlsym(RTLD_NEXT, "fmemopen"));
    ++memory_streams;
    return library(buffer, size, mode);
}

namespace {

class DecisionJpeg : public DecisionTest {
  protected:
    // Decides on `frame`; how many encodings it took.
    int passage(long time, std::vector<unsigned char>& frame) {
        memory_streams = 0;
        test_recognized_number(time, "A123BC", 2, frame.data(), frame_width, frame_height);
        return memory_streams;
    }
    std::string published_jpeg() {
        if (!next()) {
            ADD_FAILURE() << "no passage on the stream";
            return "";
        }
        return std::string(data.begin() + 116, data.begin() + info.length);
    }
    std::string archived_jpeg(const char* name) {
        return read_text_file(archive_ + "/jpegdata/" + name);
    }
};

std::string text_of(const std::vector<unsigned char>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

// The archive and the stream get the one JPEG of the passage. One too big
// for the stream's block is encoded again into the block, exactly as an
// encoding of the stream's own would be.
TEST_F(DecisionJpeg, OneEncodingServesArchiveAndStream) {
    load_base({access_record("A123BC", "Ivanov,0")});
    std::vector<unsigned char> frame = test_frame();
    EXPECT_EQ(passage(passage_time, frame), 1);
    const std::string jpeg = archived_jpeg("2023-11-14_22-13-20_A123BC.jpeg");
    EXPECT_EQ(jpeg, text_of(jpeg_of(frame, 65536)));
    EXPECT_EQ(published_jpeg(), jpeg);

    frame = frame_just_too_big();
    memory_streams = 0;
    const std::vector<unsigned char> in_block = jpeg_of(frame, 65420);
    const int block_encodings = memory_streams;
    ASSERT_GT(in_block.size(), 0u);
    EXPECT_EQ(passage(passage_time + 1, frame), 1 + block_encodings);
    const std::string big = archived_jpeg("2023-11-14_22-13-21_A123BC.jpeg");
    EXPECT_GE(big.size(), 65420u);
    EXPECT_EQ(big, text_of(jpeg_of(frame, 65536)));
    EXPECT_EQ(published_jpeg(), text_of(in_block));
}

// Without memory for the shared JPEG the passage is still published: the
// stream encodes its own, into its block, and the log says what was missing.
TEST_F(DecisionJpeg, APassageWithoutMemoryForItsJpegIsStillPublished) {
    if (!failing_malloc::available())
        GTEST_SKIP() << "the sanitizers' heap cannot be made to fail";
    load_base({access_record("A123BC", "Ivanov,0")});
    std::vector<unsigned char> frame = test_frame();
    const std::vector<unsigned char> in_block = jpeg_of(frame, 65420);
    failing_malloc::arm(65536);
    passage(passage_time, frame);
    EXPECT_TRUE(failing_malloc::taken()) << "nothing asked for the JPEG's memory";
    EXPECT_EQ(syslog_capture::matching("can't get 65536 bytes for the JPEG").size(), 1u);
    EXPECT_EQ(published_jpeg(), text_of(in_block));
}
