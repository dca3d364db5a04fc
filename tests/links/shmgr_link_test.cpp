#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "links/shmgr_link.h"
#include "platform/shmgr/shmgr_faults.h"
#include "support/gv.h"
#include "tests/common/jpeg.h"
#include "tests/common/syslog_capture.h"
#include "tests/links/passage_frames.h"
#include "tests/shmgr/stream_fixture.h"

namespace {

using lines_t = std::vector<std::string>;

const int width = frame_width;
const int height = frame_height;

// A whole JPEG of a width x height picture.
bool decodes_as_frame_jpeg(const unsigned char* bytes, int length) {
    int w = 0, h = 0;
    return jpeg_whole(std::string(reinterpret_cast<const char*>(bytes), length), &w, &h) &&
           w == width && h == height;
}

class ShmgrLink : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        ASSERT_EQ(connect_shmgr(), 0);
        syslog_capture::clear();
    }
    void TearDown() override {
        disconnect_shmgr();
        StreamTest::TearDown();
    }
    // The next block is a passage block of `rec` followed by a JPEG, with the
    // manager's own header values.
    void expect_passage_with_jpeg(const _parking_rec_t& rec) {
        ASSERT_TRUE(next());
        ASSERT_TRUE(info.length > 116 && info.length <= 65536) << info.length;
        EXPECT_EQ(memcmp(data.data(), &rec, sizeof rec), 0);
        EXPECT_TRUE(decodes_as_frame_jpeg(data.data() + 116, info.length - 116));
        EXPECT_EQ(info.frame_number, info.sequence);
    }
};

} // namespace

TEST_F(ShmgrLink, PassageBlockIsTheRecordThenItsJpegWithinTheBlock) {
    _parking_rec_t rec = exit_record();
    std::vector<unsigned char> frame = test_frame();
    ASSERT_EQ(send_rec_to_shmgr(rec, frame.data(), width, height), 0);
    expect_passage_with_jpeg(rec);
    EXPECT_EQ(syslog_capture::all(), lines_t{});

    // A JPEG that would fit a whole block but not behind the record is made
    // smaller, never written past the block.
    frame = frame_just_too_big();
    int size = static_cast<int>(jpeg_of(frame).size());
    ASSERT_TRUE(size >= 65420 && size < 65536) << size;
    ASSERT_EQ(send_rec_to_shmgr(rec, frame.data(), width, height), 0);
    expect_passage_with_jpeg(rec);

    // No picture can be made of a 0 x 0 frame: the record goes out alone.
    ASSERT_EQ(send_rec_to_shmgr(rec, frame.data(), 0, 0), 0);
    ASSERT_TRUE(next());
    EXPECT_EQ(info.length, 116);
    EXPECT_EQ(memcmp(data.data(), &rec, sizeof rec), 0);
}

// A JPEG made already goes into the block as it is when it leaves the block's
// last byte free, as the memory encoder would; one byte more and the frame is
// encoded into the block, as a passage without a JPEG is.
TEST_F(ShmgrLink, PassageTakesItsJpegWhenItFitsAndEncodesOtherwise) {
    _parking_rec_t rec = exit_record();
    std::vector<unsigned char> frame = frame_just_too_big();
    const std::vector<unsigned char> own = jpeg_of(frame, 65420);
    ASSERT_GT(own.size(), 0u);
    // Not a JPEG: only a copy can bring these bytes into the block.
    const std::vector<unsigned char> made(65420, 0x5A);
    const struct {
        const unsigned char* jpeg;
        int length;
        std::vector<unsigned char> published;
    } rows[] = {
        {made.data(), 65419, std::vector<unsigned char>(made.begin(), made.end() - 1)},
        {made.data(), 65420, own},
        {made.data(), 0, {}},
        {nullptr, 0, own},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(send_rec_jpeg_to_shmgr(rec, row.jpeg, row.length, frame.data(), width, height),
                  0);
        ASSERT_TRUE(next());
        ASSERT_EQ(info.length, static_cast<int>(116 + row.published.size())) << row.length;
        EXPECT_EQ(memcmp(data.data(), &rec, sizeof rec), 0);
        EXPECT_TRUE(std::equal(row.published.begin(), row.published.end(), data.begin() + 116))
            << row.length;
    }
}

TEST_F(ShmgrLink, ZeroBlocksTakeTheResetFormOnIFramesAndWhenForced) {
    // The form of the next block: the reset form sets all four header values
    // to 0, the empty form only the length, to -1, keeping the manager's
    // fresh values (none of them 0 but the frame number at a wrap).
    auto zero_block = [this](int force) -> std::string {
        EXPECT_EQ(send_zero_block(force), 0);
        if (!next())
            return "none";
        if (info.length == 0 && info.frame_time == 0 && info.activity == 0 &&
            info.frame_number == 0)
            return "reset";
        if (info.length == -1 && info.frame_time != 0 && info.activity == SHMGR_ACTIVITY_UNSET &&
            info.frame_number == info.sequence)
            return "empty";
        return "mixed";
    };
    EXPECT_EQ(zero_block(0), "reset"); // a connection's first block is an I-frame
    EXPECT_EQ(zero_block(0), "empty");
    EXPECT_EQ(zero_block(1), "reset");
    EXPECT_EQ(info.iframe, 0);
    for (int block = 3; block < SHMGR_IFRAME_INTERVAL; ++block)
        ASSERT_EQ(zero_block(0), "empty");
    EXPECT_EQ(zero_block(0), "reset");
    EXPECT_EQ(info.iframe, 1);
    EXPECT_EQ(syslog_capture::all(), lines_t{});
}

// Each failure ends the call. A block that cannot be had is logged for a
// passage only; one that cannot be handed back is logged by the function
// that held it; a data area that cannot be had is not written through, and
// its block goes back marked empty. Afterwards passages go out as before.
TEST_F(ShmgrLink, FailuresAreLoggedWhereTheyMatterAndEndTheCall) {
    _parking_rec_t rec = exit_record();
    std::vector<unsigned char> frame = test_frame();
    shmgrFailNext(SHMGR_FAULT_REQUEST, EBUSY);
    EXPECT_EQ(send_rec_to_shmgr(rec, frame.data(), width, height), -1);
    for (int force : {0, 1}) {
        shmgrFailNext(SHMGR_FAULT_REQUEST, EBUSY);
        EXPECT_EQ(send_zero_block(force), -1);
    }
    shmgrFailNext(SHMGR_FAULT_RETURN, EIO);
    EXPECT_EQ(send_zero_block(0), -1);
    shmgrFailNext(SHMGR_FAULT_RETURN, EIO);
    EXPECT_EQ(send_rec_to_shmgr(rec, frame.data(), width, height), -1);
    const std::string busy = std::to_string(EBUSY) + " [" + strerror(EBUSY) + "]\n";
    const std::string io = std::to_string(EIO) + " [" + strerror(EIO) + "]\n";
    EXPECT_EQ(syslog_capture::all(),
              (lines_t{"send_rec_to_shmgr: shmgrRequestMemory(MAIN_STREAM_CHANNEL) failed: " + busy,
                       "send_zero_block: shmgrReturnMemory() error = " + io,
                       "send_rec_to_shmgr: shmgrReturnMemory() error = " + io}));
    EXPECT_FALSE(next());

    syslog_capture::clear();
    shmgrFailNext(SHMGR_FAULT_GET_DATA, EFAULT);
    EXPECT_EQ(send_rec_to_shmgr(rec, frame.data(), width, height), -1);
    EXPECT_EQ(syslog_capture::all(),
              lines_t{"send_rec_to_shmgr: shmgrGetData() failed: " + std::to_string(EFAULT) + " [" +
                      strerror(EFAULT) + "]\n"});
    ASSERT_TRUE(next());
    EXPECT_EQ(info.length, -1);
    ASSERT_EQ(send_rec_to_shmgr(rec, frame.data(), width, height), 0);
    expect_passage_with_jpeg(rec);
}
