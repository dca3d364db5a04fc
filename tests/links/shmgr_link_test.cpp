#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include "core/gv.h"
#include "links/shmgr_link.h"
#include "records/jpeg_compressor.h"
#include "platform/shmgr/shmgr_faults.h"
#include "tests/common/syslog_capture.h"
#include "tests/shmgr/stream_fixture.h"

namespace {

const int frame_width = 704;
const int frame_height = 576;

// A picture with some structure, planar 4:2:0.
std::vector<unsigned char> test_frame() {
    std::vector<unsigned char> frame(frame_width * frame_height * 3 / 2, 128);
    for (int y = 0; y < frame_height; ++y) {
        for (int x = 0; x < frame_width; ++x) {
            frame[y * frame_width + x] = static_cast<unsigned char>((x / 16 + y / 16) * 8);
        }
    }
    return frame;
}

// Grey, with the first `count` luma samples noise: the more noise, the
// larger the JPEG.
std::vector<unsigned char> noisy_frame(int count) {
    std::vector<unsigned char> frame(frame_width * frame_height * 3 / 2, 128);
    unsigned state = 12345;
    for (int i = 0; i < count; ++i) {
        state = state * 1103515245u + 12345u;
        frame[i] = static_cast<unsigned char>(state >> 16);
    }
    return frame;
}

int jpeg_size(std::vector<unsigned char>& frame) {
    std::vector<unsigned char> room(1 << 20);
    return encodeImage_to_memory(frame.data(), room.data(), static_cast<int>(room.size()),
                                 frame_width, frame_height);
}

// A frame whose JPEG at the encoder's first quality just fails to fit behind
// the record, yet would fit into a whole block: one that a wrong room would
// let run past the block's end.
std::vector<unsigned char> frame_just_too_big() {
    int low = 0;
    int high = frame_width * frame_height;
    while (high - low > 1) {
        int middle = (low + high) / 2;
        std::vector<unsigned char> frame = noisy_frame(middle);
        (jpeg_size(frame) >= 65420 ? high : low) = middle;
    }
    return noisy_frame(high);
}

_parking_rec_t test_record() {
    _parking_rec_t rec;
    memset(&rec, 0, sizeof rec);
    rec.time = 1700000000;
    memcpy(rec.number, "A123BC77", 8);
    rec.kind = 2;
    rec.in_list = 1;
    rec.access = -1;
    memset(rec.text, 0xE2, sizeof rec.text); // fills the field without a terminator
    memcpy(rec.summary, "\xC8\xE2\xE0\xED\xEE\xE2: 1", 9);
    return rec;
}

struct JpegFailure {
    jpeg_error_mgr manager;
    jmp_buf escape;
};

void leave_decoder(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->escape, 1);
}

// Decodes the whole JPEG; false when the library finds fault with it.
bool decodes_as_jpeg(const unsigned char* bytes, size_t length, unsigned* width, unsigned* height) {
    FILE* stream = fmemopen(const_cast<unsigned char*>(bytes), length, "rb");
    if (stream == nullptr) {
        return false;
    }
    jpeg_decompress_struct cinfo;
    JpegFailure failure;
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = leave_decoder;
    bool whole = false;
    if (setjmp(failure.escape) == 0) {
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, stream);
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        std::vector<unsigned char> row(cinfo.output_width * cinfo.output_components);
        JSAMPROW rows[1] = {row.data()};
        while (cinfo.output_scanline < cinfo.output_height) {
            jpeg_read_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_decompress(&cinfo);
        *width = cinfo.image_width;
        *height = cinfo.image_height;
        whole = true;
    }
    jpeg_destroy_decompress(&cinfo);
    fclose(stream);
    return whole;
}

class ShmgrLink : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        ASSERT_EQ(connect_shmgr(), 0);
        ASSERT_EQ(shmgrReaderAttach(0, &reader), 1);
        syslog_capture::clear();
    }
    void TearDown() override {
        shmgrReaderDetach(&reader);
        disconnect_shmgr();
        EXPECT_EQ(gv.shm_connection, nullptr);
        StreamTest::TearDown();
    }
    // The next block published, or a failure when there is none.
    bool next_block() {
        return shmgrReaderNext(reader, &info, data.data(), SHMGR_BLOCK_SIZE, 0) == 1;
    }
    SHMGR_READER reader = nullptr;
    shmgr_block_info info{};
    std::vector<unsigned char> data = std::vector<unsigned char>(SHMGR_BLOCK_SIZE);
};

} // namespace

TEST_F(ShmgrLink, PassageBlockIsTheRecordThenItsJpeg) {
    _parking_rec_t rec = test_record();
    std::vector<unsigned char> frame = test_frame();
    ASSERT_EQ(send_rec_to_shmgr(rec, frame.data(), frame_width, frame_height), 0);
    EXPECT_EQ(gv.shm_block, nullptr);
    ASSERT_TRUE(next_block());
    ASSERT_GT(info.length, 116);
    EXPECT_EQ(memcmp(data.data(), &rec, sizeof rec), 0);
    unsigned width = 0;
    unsigned height = 0;
    ASSERT_TRUE(decodes_as_jpeg(data.data() + 116, info.length - 116, &width, &height));
    EXPECT_EQ(width, 704u);
    EXPECT_EQ(height, 576u);
    // The record block leaves the manager's own header values alone.
    EXPECT_EQ(info.frame_number, info.sequence);
    EXPECT_NE(info.frame_time, 0);
    EXPECT_TRUE(syslog_capture::lines().empty());
    EXPECT_FALSE(next_block());
}

TEST_F(ShmgrLink, PassageBlockNeverOutgrowsTheBlock) {
    _parking_rec_t rec = test_record();
    // No picture can be made of a 0 x 0 frame: the record goes out alone.
    std::vector<unsigned char> frame = test_frame();
    ASSERT_EQ(send_rec_to_shmgr(rec, frame.data(), 0, 0), 0);
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.length, 116);
    EXPECT_EQ(memcmp(data.data(), &rec, sizeof rec), 0);

    frame = frame_just_too_big();
    const int first_try = jpeg_size(frame);
    ASSERT_GE(first_try, 65420);
    ASSERT_LT(first_try, 65536);
    ASSERT_EQ(send_rec_to_shmgr(rec, frame.data(), frame_width, frame_height), 0);
    ASSERT_TRUE(next_block());
    ASSERT_GT(info.length, 116);
    EXPECT_LE(info.length, 65536);
    EXPECT_EQ(memcmp(data.data(), &rec, sizeof rec), 0);
    unsigned width = 0;
    unsigned height = 0;
    EXPECT_TRUE(decodes_as_jpeg(data.data() + 116, info.length - 116, &width, &height));
}

TEST_F(ShmgrLink, ZeroBlocksTakeTheResetFormOnIFramesAndWhenForced) {
    // A connection's first block is an I-frame.
    ASSERT_EQ(send_zero_block(0), 0);
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.iframe, 1);
    EXPECT_EQ(info.length, 0);
    EXPECT_EQ(info.frame_time, 0);
    EXPECT_EQ(info.activity, 0);
    EXPECT_EQ(info.frame_number, 0u);

    ASSERT_EQ(send_zero_block(0), 0);
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.iframe, 0);
    EXPECT_EQ(info.length, -1);
    EXPECT_NE(info.frame_time, 0);
    EXPECT_EQ(info.frame_number, info.sequence);

    ASSERT_EQ(send_zero_block(1), 0);
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.iframe, 0);
    EXPECT_EQ(info.length, 0);
    EXPECT_EQ(info.frame_time, 0);
    EXPECT_EQ(info.frame_number, 0u);

    for (uint32_t i = info.sequence; i < SHMGR_IFRAME_INTERVAL; ++i) {
        ASSERT_EQ(send_zero_block(0), 0);
        ASSERT_TRUE(next_block());
        ASSERT_EQ(info.length, -1);
    }
    ASSERT_EQ(send_zero_block(0), 0);
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.iframe, 1);
    EXPECT_EQ(info.length, 0);
    EXPECT_EQ(info.frame_number, 0u);
    EXPECT_TRUE(syslog_capture::lines().empty());
}

TEST_F(ShmgrLink, BlockThatCannotBeHadIsLoggedForPassagesOnly) {
    // Another writer holds channel 0, so the service's requests are refused.
    SHMGR_CONNECTION other = nullptr;
    ASSERT_EQ(shmgrConnect("other", 0, &other), 1);
    SHMGR_BLOCK held = nullptr;
    ASSERT_EQ(shmgrRequestMemory(other, 0, 0, &held), 1);
    ASSERT_EQ(shmgrSetLen(held, -1), 1);

    std::vector<unsigned char> frame = test_frame();
    EXPECT_EQ(send_rec_to_shmgr(test_record(), frame.data(), frame_width, frame_height), -1);
    std::vector<LoggedLine> logged = syslog_capture::lines();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].priority, 0);
    EXPECT_EQ(logged[0].text,
              std::string("send_rec_to_shmgr: shmgrRequestMemory(MAIN_STREAM_CHANNEL) "
                          "failed: ") +
                  std::to_string(EBUSY) + " [" + strerror(EBUSY) + "]\n");

    syslog_capture::clear();
    EXPECT_EQ(send_zero_block(1), -1);
    EXPECT_EQ(send_zero_block(0), -1);
    EXPECT_TRUE(syslog_capture::lines().empty());

    // The other writer's block was not touched by any of it.
    EXPECT_FALSE(next_block());
    ASSERT_EQ(shmgrReturnMemory(other, &held), 1);
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.length, -1);
    EXPECT_EQ(info.iframe, 1);
    EXPECT_FALSE(next_block());
    shmgrDisconnect(&other);
}

TEST_F(ShmgrLink, FailedHandBackIsLoggedAndTheNextBlockGoesOut) {
    std::vector<unsigned char> frame = test_frame();
    shmgrFailNext(SHMGR_FAULT_RETURN, EIO);
    EXPECT_EQ(send_zero_block(0), -1);
    shmgrFailNext(SHMGR_FAULT_RETURN, EIO);
    EXPECT_EQ(send_rec_to_shmgr(test_record(), frame.data(), frame_width, frame_height), -1);
    const std::string error = std::to_string(EIO) + " [" + strerror(EIO) + "]\n";
    EXPECT_EQ(
        syslog_capture::matching("send_zero_block: shmgrReturnMemory() error = " + error).size(),
        1u);
    EXPECT_EQ(
        syslog_capture::matching("send_rec_to_shmgr: shmgrReturnMemory() error = " + error).size(),
        1u);
    EXPECT_FALSE(next_block());

    ASSERT_EQ(send_zero_block(0), 0);
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.length, -1);
}

// A data area that cannot be had must not be written through, and the block
// goes back marked empty.
TEST_F(ShmgrLink, PassageWithoutDataAreaGoesBackEmpty) {
    std::vector<unsigned char> frame = test_frame();
    shmgrFailNext(SHMGR_FAULT_GET_DATA, EFAULT);
    EXPECT_EQ(send_rec_to_shmgr(test_record(), frame.data(), frame_width, frame_height), -1);
    EXPECT_TRUE(syslog_capture::contains("send_rec_to_shmgr: shmgrGetData() failed: "));
    ASSERT_TRUE(next_block());
    EXPECT_EQ(info.length, -1);
    ASSERT_EQ(send_rec_to_shmgr(test_record(), frame.data(), frame_width, frame_height), 0);
    ASSERT_TRUE(next_block());
    EXPECT_GT(info.length, 116);
}

TEST(ShmgrLinkConnection, RefusedConnectionIsReported) {
    setenv("SHMGR_PREFIX", "not-a-name", 1);
    EXPECT_EQ(connect_shmgr(), -1);
    unsetenv("SHMGR_PREFIX");
}
