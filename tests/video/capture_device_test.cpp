#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/gv.h"
#include "platform/camera/camera_fake.h"
#include "tests/common/syslog_capture.h"
#include "tests/video/output_capture.h"
#include "video/capture.h"
#include "video/capture_device.h"
#include "video/capture_repack.h"

namespace {

// The capture device against the fake drivers linked into this program,
// which answer at once with pattern frames and count every call.
class CaptureDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        camera_fake_reset();
        camera_fake_use_scenario("", 0);
        camera_fake_use_frame_files(nullptr);
        camera_fake_use_pattern(1);
        camera_fake_set_speed(0);
        gv.video_handle = gv.csi_handle = gv.mem_handle = -1;
        syslog_capture::clear();
    }
    void TearDown() override { video_close_input(); }

    static camera_fake_stats stats() {
        camera_fake_stats s;
        camera_fake_get_stats(&s);
        return s;
    }
    static std::vector<std::string> logged() {
        std::vector<std::string> texts;
        for (const LoggedLine& line : syslog_capture::lines())
            texts.push_back(line.text);
        return texts;
    }
    static std::vector<unsigned char> frame() {
        return {gv.frame_buffer.address, gv.frame_buffer.address + FRAME_BYTES};
    }
    // The current frame as the repacking must make it from pattern frame `n`.
    static std::vector<unsigned char> expected_frame(unsigned n) {
        std::vector<unsigned char> capture(CAPTURE_BYTES_READ), repacked(FRAME_BYTES);
        for (size_t i = 0; i < capture.size(); ++i)
            capture[i] = camera_pattern_byte(n, static_cast<uint32_t>(i));
        repack_capture_buffer(repacked.data(), capture.data());
        return repacked;
    }
};

TEST_F(CaptureDevice, OpensConfiguresAndMapsWhatTheDriversExpect) {
    ASSERT_EQ(video_init_input(), 0);

    EXPECT_GE(gv.mem_handle, 0);
    EXPECT_GE(gv.csi_handle, 0);
    EXPECT_GE(gv.video_handle, 0);
    EXPECT_EQ(gv.capture_buffer.offset, CAMERA_CAPTURE_BUFFER_OFFSET);
    EXPECT_EQ(gv.capture_buffer.length, CAMERA_CAPTURE_BUFFER_LENGTH);
    EXPECT_NE(gv.capture_buffer.address, nullptr);
    EXPECT_EQ(gv.frame_buffer.offset, CAMERA_FRAME_BUFFER_OFFSET);
    EXPECT_EQ(gv.frame_buffer.length, CAMERA_FRAME_BUFFER_LENGTH);
    EXPECT_NE(gv.frame_buffer.address, nullptr);
    EXPECT_NE(gv.request, nullptr);
    EXPECT_EQ(stats().mismatches, 0u);
    EXPECT_EQ(logged(), std::vector<std::string>{"video_init_input: videoOpen() -> ok\n"});
}

TEST_F(CaptureDevice, EachCaptureRepacksTheDriversNewFrame) {
    ASSERT_EQ(video_init_input(), 0);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(video_Capture_frame(gv.request), 0);
        EXPECT_EQ(gv.request->flags, 0u);
        EXPECT_EQ(gv.request->offset, CAMERA_CAPTURE_BUFFER_OFFSET);
        EXPECT_TRUE(frame() == expected_frame(static_cast<unsigned>(stats().last_frame)));
    }
    EXPECT_EQ(stats().frames, 2u);
    EXPECT_EQ(stats().mismatches, 0u);
}

TEST_F(CaptureDevice, TimeoutLikeFailuresRestartAllThreeDevices) {
    for (int error : {62, 85}) {
        ASSERT_EQ(video_init_input(), 0);
        syslog_capture::clear();
        camera_fake_reset();
        camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, error);

        EXPECT_EQ(video_Capture_frame(gv.request), -1);

        const std::string text = strerror(error);
        EXPECT_EQ(logged(),
                  (std::vector<std::string>{"video_Capture_frame: videoGetStillImage() failed: " +
                                                std::to_string(error) + " [" + text + "]\n",
                                            "video_Capture_frame: restart video input",
                                            "video_init_input: videoOpen() -> ok\n"}));
        const camera_fake_stats s = stats();
        for (int device = 0; device < CAMERA_DEVICE_COUNT; ++device) {
            EXPECT_EQ(s.closes[device], 1u) << device;
            EXPECT_EQ(s.calls[CAMERA_OP_OPEN_MEM_MGR + device], 1u) << device;
        }
        EXPECT_EQ(s.calls[CAMERA_OP_MMAP], 2u);
        EXPECT_EQ(s.munmaps, 2u);
        // The next capture runs on the new handles, mappings and record.
        ASSERT_EQ(video_Capture_frame(gv.request), 0);
        EXPECT_TRUE(frame() == expected_frame(static_cast<unsigned>(stats().last_frame)));
        EXPECT_EQ(stats().mismatches, 0u);
        video_close_input();
    }
}

TEST_F(CaptureDevice, OtherFailuresAreLoggedOnceWithoutRestart) {
    ASSERT_EQ(video_init_input(), 0);
    syslog_capture::clear();
    const int video_handle = gv.video_handle;
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, EIO);

    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(),
              std::vector<std::string>{
                  "video_Capture_frame: videoGetStillImage() failed: 5 [Input/output error]\n"});
    EXPECT_EQ(gv.video_handle, video_handle);
    EXPECT_EQ(stats().closes[CAMERA_VIDEO], 0u);
    EXPECT_EQ(video_Capture_frame(gv.request), 0);
}

TEST_F(CaptureDevice, OtherRequestResultsPassThroughSilently) {
    ASSERT_EQ(video_init_input(), 0);
    ASSERT_EQ(video_Capture_frame(gv.request), 0);
    const std::vector<unsigned char> before = frame();
    syslog_capture::clear();
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, 1, 0);

    EXPECT_EQ(video_Capture_frame(gv.request), 1);
    EXPECT_EQ(stats().frames, 2u); // the driver did write the capture buffer
    EXPECT_TRUE(frame() == before);
    EXPECT_TRUE(logged().empty());

    const camera_op init_requests[] = {CAMERA_OP_CSI_CONFIG, CAMERA_OP_FRAME_RATE_DIVISOR,
                                       CAMERA_OP_BUFFER_QUERY};
    for (camera_op op : init_requests) {
        video_close_input();
        syslog_capture::clear();
        camera_fake_inject(op, 0, 1, 3, 0);
        OutputCapture out(STDOUT_FILENO);
        EXPECT_EQ(video_init_input(), 3) << op;
        EXPECT_EQ(out.text(), "") << op;
        EXPECT_EQ(syslog_capture::matching("failed").size(), 0u) << op;
    }
}

TEST_F(CaptureDevice, SensorInterfaceFailuresGoToStandardOutputOnly) {
    struct {
        camera_op op;
        int error;
        const char* printed;
    } cases[] = {
        {CAMERA_OP_OPEN_CSI, ENOENT, "open /dev/imx27_csi failed: 2 [No such file or directory]\n"},
        {CAMERA_OP_CSI_CONFIG, EIO, "csiConfigure() failed: 5 [Input/output error]\n"},
    };
    for (const auto& c : cases) {
        video_close_input();
        syslog_capture::clear();
        camera_fake_inject(c.op, 0, 1, -1, c.error);
        OutputCapture out(STDOUT_FILENO);
        EXPECT_EQ(video_init_input(), -1);
        EXPECT_EQ(out.text(), c.printed);
        EXPECT_TRUE(logged().empty());
    }
}

TEST_F(CaptureDevice, OtherSetUpFailuresGoToTheSystemLogOnly) {
    struct {
        camera_op op;
        unsigned skip;
        const char* logged;
    } cases[] = {
        {CAMERA_OP_OPEN_MEM_MGR, 0, "Video init input: memOpen() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_OPEN_VIDEO, 0, "Video init input: videoOpen() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_FRAME_RATE_DIVISOR, 0,
         "videoSetFrameRateDivisor() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_BUFFER_QUERY, 0, "memGetVideoCaptureCh2() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_MMAP, 0, "memGetVideoCaptureCh2() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_BUFFER_QUERY, 1, "memGetBuffer() failed: 5 [Input/output error]\n"},
        {CAMERA_OP_MMAP, 1, "memGetBuffer() failed: 5 [Input/output error]\n"},
    };
    for (const auto& c : cases) {
        video_close_input();
        syslog_capture::clear();
        camera_fake_inject(c.op, c.skip, 1, -1, EIO);
        OutputCapture out(STDOUT_FILENO);
        EXPECT_EQ(video_init_input(), -1) << c.logged;
        EXPECT_EQ(out.text(), "") << c.logged;
        EXPECT_EQ(syslog_capture::matching("failed"),
                  std::vector<std::string>{std::string("video_init_input: ") + c.logged});
    }
    // A failed mapping leaves its descriptor cleared.
    EXPECT_EQ(gv.frame_buffer.address, nullptr);
    EXPECT_EQ(gv.frame_buffer.length, 0u);
    EXPECT_EQ(gv.frame_buffer.offset, 0u);
}

TEST_F(CaptureDevice, ClosedHandlesAreRefusedWithoutADriverRequest) {
    _video_buffer request = {};
    _mapped_buffer_t buffer = {};
    EXPECT_EQ(videoGetStillImage(-1, &request), -1);
    EXPECT_EQ(errno, -22);
    EXPECT_EQ(videoSetFrameRateDivisor(-1, 1), -1);
    EXPECT_EQ(errno, -22);
    EXPECT_EQ(memGetBuffer(-1, IMX27_FRAME_BUFFER, &buffer), -1);
    EXPECT_EQ(errno, -22);

    // Video device missing after a set-up: captures fail, nothing restarts.
    camera_fake_inject(CAMERA_OP_OPEN_VIDEO, 0, 1, -1, ENOENT);
    ASSERT_EQ(video_init_input(), -1);
    ASSERT_EQ(gv.video_handle, -1);
    syslog_capture::clear();
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(logged(),
              std::vector<std::string>{
                  "video_Capture_frame: videoGetStillImage() failed: -22 [Unknown error -22]\n"});
    const camera_fake_stats s = stats();
    EXPECT_EQ(s.calls[CAMERA_OP_STILL_IMAGE] + s.calls[CAMERA_OP_FRAME_RATE_DIVISOR], 0u);
    EXPECT_EQ(s.calls[CAMERA_OP_OPEN_VIDEO], 1u);
}

// Partly open: the video device answers, but a buffer is missing or too
// short for the layouts; the capture must fail before touching memory.
TEST_F(CaptureDevice, CaptureWithoutUsableBuffersFailsLikeAClosedHandle) {
    camera_fake_inject(CAMERA_OP_MMAP, 1, 1, -1, ENOMEM);
    ASSERT_EQ(video_init_input(), -1);
    ASSERT_GE(gv.video_handle, 0);
    syslog_capture::clear();
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_TRUE(syslog_capture::contains("videoGetStillImage() failed: -22 "));

    video_close_input();
    camera_fake_set_buffer_length(3, FRAME_BYTES - 1);
    ASSERT_EQ(video_init_input(), 0);
    EXPECT_EQ(video_Capture_frame(gv.request), -1);
    EXPECT_EQ(stats().calls[CAMERA_OP_STILL_IMAGE], 0u);
}

TEST_F(CaptureDevice, CloseReleasesHandlesMappingsAndRecord) {
    ASSERT_EQ(video_init_input(), 0);
    video_close_input();
    video_close_input(); // a second close finds nothing left to close

    EXPECT_EQ(gv.video_handle, -1);
    EXPECT_EQ(gv.csi_handle, -1);
    EXPECT_EQ(gv.mem_handle, -1);
    EXPECT_EQ(gv.capture_buffer.address, nullptr);
    EXPECT_EQ(gv.frame_buffer.address, nullptr);
    EXPECT_EQ(gv.request, nullptr);
    const camera_fake_stats s = stats();
    for (int device = 0; device < CAMERA_DEVICE_COUNT; ++device)
        EXPECT_EQ(s.closes[device], 1u) << device;
    EXPECT_EQ(s.munmaps, 2u);
}

} // namespace
