#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "board/imx27_records.h"
#include "tests/camera/pattern_camera.h"

namespace {

constexpr uint32_t UYVY = 0x59565955;

// The fake drivers as any program sees them: through open, ioctl and mmap.
class FakeDrivers : public ::testing::Test {
  protected:
    void SetUp() override { use_pattern_camera(); }
    void TearDown() override {
        for (int fd : {mem, csi, video})
            if (fd >= 0)
                close(fd);
        if (capture)
            munmap(capture, CAMERA_CAPTURE_BUFFER_LENGTH);
    }

    // Opens and sets up the devices and maps the capture buffer as the service
    // does; true on success.
    bool open_all() {
        mem = open(IMX27_MEM_MGR_DEVICE, O_RDWR);
        csi = open(IMX27_CSI_DEVICE, O_RDWR);
        video = open(IMX27_VIDEO_DEVICE, O_RDWR);
        _csi_config_t config = {2, 720, 576, UYVY, 0, 0};
        _frame_rate_divisor_t divisor = {1, 0};
        if (mem < 0 || csi < 0 || video < 0 || ioctl(csi, IMX27_CSI_CONFIG, &config) != 0 ||
            ioctl(video, IMX27_VIDEO_SET_FRAME_RATE_DIVISOR, &divisor) != 0)
            return false;
        _mem_buffer_query_t query = {IMX27_CAPTURE_CH2_BUFFER, 0, 0, 0, 0};
        if (ioctl(mem, IMX27_MEM_GET_BUFFER, &query) != 0)
            return false;
        void* mapped =
            mmap(nullptr, query.length, PROT_READ | PROT_WRITE, MAP_SHARED, mem, query.offset);
        capture = mapped == MAP_FAILED ? nullptr : static_cast<unsigned char*>(mapped);
        return capture != nullptr;
    }
    int still(uint32_t offset = CAMERA_CAPTURE_BUFFER_OFFSET) {
        _video_buffer request = {0, offset, {0, 0, 0}};
        return ioctl(video, IMX27_VIDEO_GET_STILL_IMAGE, &request);
    }
    int mem = -1, csi = -1, video = -1;
    unsigned char* capture = nullptr;
};

// The fake answers only the requests the real drivers take, so that a
// test whose code sends another one sees it counted as a mismatch.
TEST_F(FakeDrivers, RefusesMalformedRequests) {
    ASSERT_TRUE(open_all());
    unsigned sent = 0;
    const auto refused = [&](int result, const char* what) {
        EXPECT_EQ(result, -1) << what;
        EXPECT_EQ(errno, EINVAL) << what;
        EXPECT_EQ(fake_stats().mismatches, ++sent) << what;
    };
    const auto map = [](int fd, size_t length, int flags, off_t offset) {
        void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, flags, fd, offset);
        return mapped == MAP_FAILED ? -1 : 0;
    };
    // Mode, width, height, format (YUYV) and a reserved word.
    for (_csi_config_t config :
         {_csi_config_t{3, 720, 576, UYVY, 0, 0}, _csi_config_t{2, 704, 576, UYVY, 0, 0},
          _csi_config_t{2, 720, 288, UYVY, 0, 0}, _csi_config_t{2, 720, 576, 0x56595559, 0, 0},
          _csi_config_t{2, 720, 576, UYVY, 0, 1}})
        refused(ioctl(csi, IMX27_CSI_CONFIG, &config), "configuration");
    for (_frame_rate_divisor_t divisor : {_frame_rate_divisor_t{2, 0}, _frame_rate_divisor_t{1, 7}})
        refused(ioctl(video, IMX27_VIDEO_SET_FRAME_RATE_DIVISOR, &divisor), "divisor");
    for (_mem_buffer_query_t query :
         {_mem_buffer_query_t{1, 0, 0, 0, 0}, _mem_buffer_query_t{0, 0, 0, 0, 1}})
        refused(ioctl(mem, IMX27_MEM_GET_BUFFER, &query), "buffer query");
    _video_buffer flagged = {1, CAMERA_CAPTURE_BUFFER_OFFSET, {0, 0, 0}};
    refused(ioctl(video, IMX27_VIDEO_GET_STILL_IMAGE, &flagged), "still image word 0");
    refused(still(CAMERA_FRAME_BUFFER_OFFSET), "still image offset");
    // The driver answers over the words sent; a record sent again as it
    // came back has not been set afresh.
    _video_buffer answered = {0, CAMERA_CAPTURE_BUFFER_OFFSET, {0, 0, 0}};
    EXPECT_EQ(ioctl(video, IMX27_VIDEO_GET_STILL_IMAGE, &answered), 0);
    EXPECT_TRUE(answered.flags != 0 && answered.offset != CAMERA_CAPTURE_BUFFER_OFFSET);
    refused(ioctl(video, IMX27_VIDEO_GET_STILL_IMAGE, &answered), "still image sent again");
    refused(ioctl(csi, 0xC014AE02UL, capture), "code of another number");
    refused(ioctl(video, IMX27_CSI_CONFIG, capture), "code on the wrong device");
    refused(ioctl(mem, IMX27_MEM_GET_BUFFER, nullptr), "no record");
    refused(map(mem, 4096, MAP_SHARED, 0), "map elsewhere");
    refused(map(mem, CAMERA_FRAME_BUFFER_LENGTH + 1, MAP_SHARED, CAMERA_FRAME_BUFFER_OFFSET),
            "map too much");
    refused(map(mem, CAMERA_FRAME_BUFFER_LENGTH - 1, MAP_SHARED, CAMERA_FRAME_BUFFER_OFFSET),
            "map less than the buffer");
    refused(map(mem, 4096, MAP_PRIVATE, CAMERA_FRAME_BUFFER_OFFSET), "map private");
    refused(map(video, 4096, MAP_SHARED, 0), "map video");
    refused(open(IMX27_VIDEO_DEVICE, O_RDONLY), "open read-only");
    EXPECT_EQ(fake_stats().frames, 1u);
}

} // namespace
