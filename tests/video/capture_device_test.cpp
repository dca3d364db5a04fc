#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/gv.h"
#include "tests/camera/pattern_camera.h"
#include "tests/common/golden.h"
#include "tests/common/syslog_capture.h"
#include "tests/video/output_capture.h"
#include "video/capture.h"
#include "video/capture_device.h"
#include "video/capture_repack.h"

namespace {

const char* const OPENED = "video_init_input: videoOpen() -> ok\n";
const char* const CLOSED =
    "video_Capture_frame: videoGetStillImage() failed: -22 [Unknown error -22]\n";
const char* const RESTART = "video_Capture_frame: restart video input";

// The capture device against the fake drivers linked into this program,
// which answer at once with pattern frames, count every call and refuse
// (and count) any request other than the ones the real drivers expect.
class CaptureDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        use_pattern_camera();
        gv.video_handle = gv.csi_handle = gv.mem_handle = -1;
        syslog_capture::clear();
    }
    void TearDown() override {
        EXPECT_EQ(fake_stats().mismatches, 0u);
        video_close_input();
    }

    static std::vector<std::string> logged() { return syslog_capture::all(); }
    static std::vector<unsigned char> frame() {
        return {gv.frame_buffer.address, gv.frame_buffer.address + frame_bytes};
    }
    // Whether the current frame is the repacking of the driver's last frame.
    static bool holds_last_frame() {
        std::vector<unsigned char> capture(capture_bytes_read), repacked(frame_bytes);
        for (size_t i = 0; i < capture.size(); ++i)
            capture[i] = camera_pattern_byte(static_cast<unsigned>(fake_stats().last_frame),
                                             static_cast<uint32_t>(i));
        repack_capture_buffer(repacked.data(), capture.data());
        return frame() == repacked;
    }
    // Injects a failure into `op` and starts the input afresh: its result.
    static int init_with(camera_op op, unsigned skip, int result, int error) {
        video_close_input();
        syslog_capture::clear();
        camera_fake_inject(op, skip, 1, result, error);
        return video_init_input();
    }
};

TEST_F(CaptureDevice, CapturesRepackTheDriversNewFrameAndCloseReleasesAll) {
    ASSERT_EQ(video_init_input(), 0);
    EXPECT_EQ(logged(), std::vector<std::string>{OPENED});
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(video_Capture_frame(gv.request), 0);
        EXPECT_TRUE(holds_last_frame());
    }
    EXPECT_EQ(fake_stats().frames, 2u);

    video_close_input();
    video_close_input(); // a second close finds nothing left to close
    EXPECT_EQ(gv.video_handle, -1);
    EXPECT_EQ(gv.csi_handle, -1);
    EXPECT_EQ(gv.mem_handle, -1);
    EXPECT_EQ(gv.capture_buffer.address, nullptr);
    EXPECT_EQ(gv.frame_buffer.address, nullptr);
    EXPECT_EQ(gv.request, nullptr);
    const camera_fake_stats s = fake_stats();
    for (int device = 0; device < CAMERA_DEVICE_COUNT; ++device)
        EXPECT_EQ(s.closes[device], 1u) << device;
    EXPECT_EQ(s.munmaps, 2u);
}

TEST_F(CaptureDevice, TimeoutLikeFailuresRestartAllThreeDevices) {
    for (int error : {62, 85}) {
        ASSERT_EQ(video_init_input(), 0);
        syslog_capture::clear();
        camera_fake_reset();
        camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, error);

        EXPECT_EQ(video_Capture_frame(gv.request), -1);
        EXPECT_EQ(logged(), (std::vector<std::string>{
                                "video_Capture_frame: videoGetStillImage() failed: " +
                                    std::to_string(error) + " [" + strerror(error) + "]\n",
                                RESTART, OPENED}));
        const camera_fake_stats s = fake_stats();
        for (int device = 0; device < CAMERA_DEVICE_COUNT; ++device) {
            EXPECT_EQ(s.closes[device], 1u) << device;
            EXPECT_EQ(s.calls[CAMERA_OP_OPEN_MEM_MGR + device], 1u) << device;
        }
        EXPECT_EQ(s.calls[CAMERA_OP_MMAP], 2u);
        EXPECT_EQ(s.munmaps, 2u);
        // The next capture runs on the new handles, mappings and record.
        ASSERT_EQ(video_Capture_frame(gv.request), 0);
        EXPECT_TRUE(holds_last_frame());
        video_close_input();
    }
}

// Another failure is logged once and restarts nothing; a result other than
// 0 or -1 passes through silently and leaves the frame as it was.
TEST_F(CaptureDevice, OtherStillImageResultsRestartNothing) {
    ASSERT_EQ(video_init_input(), 0);
    ASSERT_EQ(video_Capture_frame(gv.request), 0);
    const std::vector<unsigned char> before = frame();
    syslog_capture::clear();
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, EIO);
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(),
              std::vector<std::string>{
                  "video_Capture_frame: videoGetStillImage() failed: 5 [Input/output error]\n"});
    EXPECT_EQ(fake_stats().closes[CAMERA_VIDEO], 0u);

    syslog_capture::clear();
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, 1, 0);
    EXPECT_EQ(video_Capture_frame(gv.request), 1);
    EXPECT_EQ(fake_stats().frames, 2u); // the driver did write the capture buffer
    EXPECT_TRUE(frame() == before);
    EXPECT_TRUE(logged().empty());
    EXPECT_EQ(video_Capture_frame(gv.request), 0);
}

// The sensor interface's failures go to standard output only, the others to
// the system log only; a set-up request's other results pass on unreported.
TEST_F(CaptureDevice, SetUpFailuresAreReportedWhereTheyBelong) {
    const struct {
        camera_op op;
        unsigned skip;
        const char* printed;
        const char* logged;
    } cases[] = {
        {CAMERA_OP_OPEN_CSI, 0, "open /dev/imx27_csi failed: 5 [Input/output error]\n", nullptr},
        {CAMERA_OP_CSI_CONFIG, 0, "csiConfigure() failed: 5 [Input/output error]\n", nullptr},
        {CAMERA_OP_OPEN_MEM_MGR, 0, "",
         "Video init input: memOpen() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_OPEN_VIDEO, 0, "",
         "Video init input: videoOpen() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_FRAME_RATE_DIVISOR, 0, "",
         "videoSetFrameRateDivisor() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_BUFFER_QUERY, 0, "", "memGetVideoCaptureCh2() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_MMAP, 0, "", "memGetVideoCaptureCh2() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_BUFFER_QUERY, 1, "", "memGetBuffer() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_MMAP, 1, "", "memGetBuffer() failed: 5 [Input/output error]\n"},
    };
    for (const auto& c : cases) {
        OutputCapture out(STDOUT_FILENO);
        EXPECT_EQ(init_with(c.op, c.skip, -1, EIO), -1) << c.op;
        EXPECT_EQ(out.text(), c.printed) << c.op;
        EXPECT_EQ(syslog_capture::matching("failed"),
                  c.logged ? std::vector<std::string>{std::string("video_init_input: ") + c.logged}
                           : std::vector<std::string>{})
            << c.op;
        // The frame buffer, mapped last, is left cleared by every failure.
        EXPECT_TRUE(gv.frame_buffer.address == nullptr && gv.frame_buffer.length == 0 &&
                    gv.frame_buffer.offset == 0)
            << c.op;
    }

    for (camera_op op :
         {CAMERA_OP_CSI_CONFIG, CAMERA_OP_FRAME_RATE_DIVISOR, CAMERA_OP_BUFFER_QUERY}) {
        OutputCapture out(STDOUT_FILENO);
        EXPECT_EQ(init_with(op, 0, 3, 0), 3) << op;
        EXPECT_EQ(out.text(), "") << op;
        EXPECT_TRUE(syslog_capture::matching("failed").empty()) << op;
    }
}

// A restart whose reopening fails leaves the device half open; each later
// capture restarts it again, with the same messages, until it opens.
TEST_F(CaptureDevice, HalfOpenDeviceIsRestartedUntilItOpensAgain) {
    // Counted failures, no clock: the first capture times out, and the
    // video device refuses the next two openings.
    ASSERT_EQ(video_init_input(), 0);
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, ETIME);
    camera_fake_inject(CAMERA_OP_OPEN_VIDEO, 0, 2, -1, ENODEV);
    const std::string refused =
        "video_init_input: Video init input: videoOpen() failed: " + std::to_string(ENODEV) + " [" +
        strerror(ENODEV) + "]\n";
    syslog_capture::clear();
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(),
              (std::vector<std::string>{"video_Capture_frame: videoGetStillImage() failed: " +
                                            std::to_string(ETIME) + " [" + strerror(ETIME) + "]\n",
                                        RESTART, refused}));
    syslog_capture::clear();
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(), (std::vector<std::string>{CLOSED, RESTART, refused}));

    syslog_capture::clear();
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(), (std::vector<std::string>{CLOSED, RESTART, OPENED}));
    ASSERT_EQ(video_Capture_frame(gv.request), 0);
    EXPECT_TRUE(holds_last_frame());
    const camera_fake_stats s = fake_stats();
    EXPECT_EQ(s.calls[CAMERA_OP_OPEN_VIDEO], 4u);
    EXPECT_EQ(s.calls[CAMERA_OP_STILL_IMAGE], 2u);

    // Open again, the device is restarted only after a time-out again.
    syslog_capture::clear();
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, EIO);
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(),
              std::vector<std::string>{"video_Capture_frame: videoGetStillImage() failed: " +
                                       std::to_string(EIO) + " [" + strerror(EIO) + "]\n"});
    EXPECT_EQ(fake_stats().calls[CAMERA_OP_OPEN_VIDEO], 4u);
}

// Partly open: the video device answers, but a buffer is missing or too
// short for the layouts; the capture must fail before touching memory.
TEST_F(CaptureDevice, CaptureWithoutUsableBuffersFailsLikeAClosedHandle) {
    ASSERT_EQ(init_with(CAMERA_OP_MMAP, 1, -1, ENOMEM), -1);
    ASSERT_GE(gv.video_handle, 0);
    syslog_capture::clear();
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(), std::vector<std::string>{CLOSED});

    // A buffer one byte short of what the repacking touches is refused
    // without a request, and the opening says so once, with the lengths;
    // one of exactly that length serves.
    const struct {
        uint32_t buffer;
        uint32_t length;
        int result;
    } cases[] = {
        {0, capture_bytes_read - 1, -1}, {3, frame_bytes - 1, -1}, {0, capture_bytes_read, 0}};
    std::string produced;
    for (const auto& c : cases) {
        video_close_input();
        camera_fake_set_buffer_length(0, 0);
        camera_fake_set_buffer_length(3, 0);
        camera_fake_set_buffer_length(c.buffer, c.length);
        const unsigned requests = fake_stats().calls[CAMERA_OP_STILL_IMAGE];
        syslog_capture::clear();
        ASSERT_EQ(video_init_input(), 0) << c.length;
        for (int capture = 0; capture < 2; ++capture)
            EXPECT_EQ(video_Capture_frame(gv.request), c.result) << c.length;
        EXPECT_EQ(fake_stats().calls[CAMERA_OP_STILL_IMAGE] - requests, c.result == 0 ? 2u : 0u);
        produced += "buffer " + std::to_string(c.buffer) + " of " + std::to_string(c.length) +
                    " bytes:\n" + syslog_capture::logged();
    }
    EXPECT_TRUE(holds_last_frame());
    EXPECT_TRUE(matches_golden("video/golden/short-buffers.log", produced));
}

} // namespace
