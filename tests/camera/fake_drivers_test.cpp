#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/camera/camera_fake.h"
#include "platform/lpr/render.h"
#include "tests/support/scratch_dir.h"
#include "tests/video/output_capture.h"
#include "video/imx27_records.h"

namespace {

// The fake drivers as any program sees them: through open, ioctl and mmap.
class FakeDrivers : public ::testing::Test {
  protected:
    void SetUp() override {
        camera_fake_reset();
        ASSERT_EQ(camera_fake_use_scenario("", 0), 0);
        ASSERT_EQ(camera_fake_use_frame_files(nullptr), 0);
        camera_fake_use_pattern(1);
        camera_fake_set_speed(0);
    }
    void TearDown() override {
        for (int fd : {mem, csi, video})
            if (fd >= 0)
                close(fd);
        if (capture)
            munmap(capture, CAMERA_CAPTURE_BUFFER_LENGTH);
        if (frame)
            munmap(frame, CAMERA_FRAME_BUFFER_LENGTH);
    }

    // Opens and sets up the devices as the service does; true on success.
    bool open_all() {
        mem = open(IMX27_MEM_MGR_DEVICE, O_RDWR);
        csi = open(IMX27_CSI_DEVICE, O_RDWR);
        video = open(IMX27_VIDEO_DEVICE, O_RDWR);
        _csi_config_t config = {2, 720, 576, 0x59565955, 0, 0};
        _frame_rate_divisor_t divisor = {1, 0};
        if (mem < 0 || csi < 0 || video < 0 || ioctl(csi, IMX27_CSI_CONFIG, &config) != 0 ||
            ioctl(video, IMX27_VIDEO_SET_FRAME_RATE_DIVISOR, &divisor) != 0)
            return false;
        capture = map_buffer(IMX27_CAPTURE_CH2_BUFFER);
        frame = map_buffer(IMX27_FRAME_BUFFER);
        return capture && frame;
    }
    unsigned char* map_buffer(uint32_t number) {
        _mem_buffer_query_t query = {number, 0, 0, 0, 0};
        if (ioctl(mem, IMX27_MEM_GET_BUFFER, &query) != 0)
            return nullptr;
        void* mapped =
            mmap(nullptr, query.length, PROT_READ | PROT_WRITE, MAP_SHARED, mem, query.offset);
        return mapped == MAP_FAILED ? nullptr : static_cast<unsigned char*>(mapped);
    }
    int still(uint32_t offset = CAMERA_CAPTURE_BUFFER_OFFSET) {
        _video_buffer request = {0, offset, {0, 0, 0}};
        return ioctl(video, IMX27_VIDEO_GET_STILL_IMAGE, &request);
    }
    static camera_fake_stats stats() {
        camera_fake_stats s;
        camera_fake_get_stats(&s);
        return s;
    }
    // The first byte of the capture buffer, which every source sets.
    unsigned first_byte() const { return capture[0]; }

    int mem = -1, csi = -1, video = -1;
    unsigned char* capture = nullptr;
    unsigned char* frame = nullptr;
};

TEST_F(FakeDrivers, AnswersTheServicesRequestsAndPassesEverythingElseOn) {
    const int other = open("/dev/null", O_RDWR);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(open_all());
    EXPECT_NE(mem, csi);
    EXPECT_NE(csi, video);
    EXPECT_NE(other, mem);

    int available = 0;
    EXPECT_EQ(ioctl(other, FIONREAD, &available), -1); // the real driver of /dev/null
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_NE(mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0), MAP_FAILED);
    close(other);

    ASSERT_EQ(still(), 0);
    ASSERT_EQ(still(), 0);
    EXPECT_EQ(stats().last_frame, 1);
    size_t wrong = 0;
    for (uint32_t i = 0; i < CAMERA_CAPTURE_BUFFER_LENGTH; ++i)
        wrong += capture[i] != camera_pattern_byte(1, i);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(stats().mismatches, 0u);
}

TEST_F(FakeDrivers, MalformedRequestsAreReportedAndRefused) {
    ASSERT_TRUE(open_all());
    struct bad_request {
        const char* what;
        std::function<int()> send;
    };
    const auto csi_config = [this](_csi_config_t config) {
        return ioctl(csi, IMX27_CSI_CONFIG, &config);
    };
    const auto query = [this](uint32_t buffer, uint32_t flags) {
        _mem_buffer_query_t record = {buffer, 0, 0, 0, flags};
        return ioctl(mem, IMX27_MEM_GET_BUFFER, &record);
    };
    const auto divisor = [this](uint32_t value, uint32_t result) {
        _frame_rate_divisor_t record = {value, result};
        return ioctl(video, IMX27_VIDEO_SET_FRAME_RATE_DIVISOR, &record);
    };
    const auto map = [this](size_t length, int prot, int flags, off_t offset) {
        return mmap(nullptr, length, prot, flags, mem, offset) == MAP_FAILED ? -1 : 0;
    };
    const bad_request cases[] = {
        {"mode",
         [&] {
             return csi_config({3, 720, 576, 0x59565955, 0, 0});
         }},
        {"width",
         [&] {
             return csi_config({2, 704, 576, 0x59565955, 0, 0});
         }},
        {"height",
         [&] {
             return csi_config({2, 720, 288, 0x59565955, 0, 0});
         }},
        {"format YUYV",
         [&] {
             return csi_config({2, 720, 576, 0x56595559, 0, 0});
         }},
        {"reserved",
         [&] {
             return csi_config({2, 720, 576, 0x59565955, 0, 1});
         }},
        {"divisor 2", [&] { return divisor(2, 0); }},
        {"divisor word 4", [&] { return divisor(1, 7); }},
        {"buffer 1", [&] { return query(1, 0); }},
        {"query word 16", [&] { return query(0, 1); }},
        {"still word 0",
         [&] {
             _video_buffer request = {1, CAMERA_CAPTURE_BUFFER_OFFSET, {0, 0, 0}};
             return ioctl(video, IMX27_VIDEO_GET_STILL_IMAGE, &request);
         }},
        {"still offset", [&] { return still(CAMERA_FRAME_BUFFER_OFFSET); }},
        {"code of another number", [&] { return ioctl(csi, 0xC014AE02UL, capture); }},
        {"code on the wrong device", [&] { return ioctl(video, IMX27_CSI_CONFIG, capture); }},
        {"no record", [&] { return ioctl(mem, IMX27_MEM_GET_BUFFER, nullptr); }},
        {"map elsewhere", [&] { return map(4096, PROT_READ | PROT_WRITE, MAP_SHARED, 0); }},
        {"map too much",
         [&] {
             return map(CAMERA_FRAME_BUFFER_LENGTH + 1, PROT_READ | PROT_WRITE, MAP_SHARED,
                        CAMERA_FRAME_BUFFER_OFFSET);
         }},
        {"map private",
         [&] {
             return map(4096, PROT_READ | PROT_WRITE, MAP_PRIVATE, CAMERA_FRAME_BUFFER_OFFSET);
         }},
        {"map video",
         [&] {
             return mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, video, 0) == MAP_FAILED
                        ? -1
                        : 0;
         }},
        {"open read-only",
         [&] {
             const int fd = open(IMX27_VIDEO_DEVICE, O_RDONLY);
             if (fd >= 0)
                 close(fd);
             return fd < 0 ? -1 : 0;
         }},
    };
    unsigned refused = 0;
    for (const bad_request& c : cases) {
        OutputCapture err(STDERR_FILENO);
        errno = 0;
        EXPECT_EQ(c.send(), -1) << c.what;
        EXPECT_EQ(errno, EINVAL) << c.what;
        EXPECT_EQ(stats().mismatches, ++refused) << c.what;
        const std::string line = err.text();
        EXPECT_EQ(line.rfind("camera-fake: /dev/imx27_", 0), 0u) << c.what << ": " << line;
        EXPECT_EQ(line.back(), '\n') << c.what;
    }
    EXPECT_EQ(stats().frames, 0u);
}

// Without a clock every request takes the next frame, and a device
// failure applies while its frames are the next ones.
TEST_F(FakeDrivers, ScenarioDrivesLossAndOpenFailuresFrameByFrame) {
    const std::string text = "0.2 loss ETIME 0.2\n"
                             "0.4 loss 99 0.04\n"
                             "0.48 open-fail csi ENOENT 0.04\n";
    ASSERT_EQ(camera_fake_use_scenario(text.data(), text.size()), 0);
    ASSERT_TRUE(open_all());

    std::vector<int> errors;
    for (int i = 0; i < 12; ++i)
        errors.push_back(still() == 0 ? 0 : errno);
    const std::vector<int> expected = {0, 0, 0, 0, 0, ETIME, ETIME, ETIME, ETIME, ETIME, 99, 0};
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(stats().frames, 6u);
    EXPECT_EQ(first_byte(), camera_pattern_byte(11, 0));

    EXPECT_EQ(open(IMX27_CSI_DEVICE, O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    ASSERT_EQ(still(), 0);
    const int again = open(IMX27_CSI_DEVICE, O_RDWR);
    EXPECT_GE(again, 0);
    close(again);
}

TEST_F(FakeDrivers, BadSourcesAreReportedAndKeepTheDevicesClosed) {
    const std::string dir = scratch_dir("fake_drivers");
    const std::string scenario = dir + "/bad.scenario";
    write_text_file(scenario, "0 empty\n1 fly away\n");
    {
        OutputCapture err(STDERR_FILENO);
        EXPECT_EQ(camera_fake_use_scenario_file(scenario.c_str()), 1);
        EXPECT_EQ(err.text(), "camera-fake: scenario line 2: unknown event \"fly\"\n");
        EXPECT_EQ(camera_fake_use_scenario_file((dir + "/missing").c_str()), 1);
    }
    EXPECT_EQ(open(IMX27_MEM_MGR_DEVICE, O_RDWR), -1);
    EXPECT_EQ(errno, ENODEV);

    const std::string torn = dir + "/torn.yuv";
    write_text_file(torn, "not a whole frame");
    ASSERT_EQ(camera_fake_use_scenario("", 0), 0);
    {
        OutputCapture err(STDERR_FILENO);
        EXPECT_EQ(camera_fake_use_frame_files((torn + ":" + dir + "/missing").c_str()), 2);
    }
    EXPECT_EQ(open(IMX27_MEM_MGR_DEVICE, O_RDWR), -1);
    EXPECT_EQ(errno, ENODEV);
}

TEST_F(FakeDrivers, FrameFilesPlayInOrderThenAgain) {
    const std::string dir = scratch_dir("fake_drivers");
    // The first file holds two frames, the second one.
    const std::string paths[2] = {dir + "/frames0.yuv", dir + "/frames1.yuv"};
    const auto frame_of = [](char value) {
        return std::string(CAMERA_CAPTURE_BUFFER_LENGTH, value);
    };
    write_text_file(paths[0], frame_of(0) + frame_of(1));
    write_text_file(paths[1], frame_of(10));
    const std::string list = paths[0] + ":" + paths[1];
    ASSERT_EQ(camera_fake_use_frame_files(list.c_str()), 0);
    camera_fake_use_pattern(0);
    ASSERT_TRUE(open_all());

    std::vector<unsigned> shown;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(still(), 0);
        EXPECT_EQ(capture[CAMERA_CAPTURE_BUFFER_LENGTH - 1], capture[0]);
        shown.push_back(first_byte());
    }
    EXPECT_EQ(shown, (std::vector<unsigned>{0, 1, 10, 0}));
}

} // namespace

TEST_F(FakeDrivers, ScenesAreDrawnForTheFrameTheyAreShownIn) {
    const std::string text = "0 empty\n0.08 car A123BC 77 kind=3 unreadable=2\n";
    ASSERT_EQ(camera_fake_use_scenario(text.data(), text.size()), 0);
    camera_fake_use_pattern(0);
    ASSERT_TRUE(open_all());

    scene_t scenes[2] = {};
    scenes[1].car = true;
    strcpy(scenes[1].body, "A123BC");
    strcpy(scenes[1].suffix, "77");
    scenes[1].kind = 3;
    scenes[1].unreadable = 1u << 1;
    std::vector<unsigned char> expected(PAL_FRAME_BYTES);
    for (unsigned frame_number = 0; frame_number < 3; ++frame_number) {
        ASSERT_EQ(still(), 0);
        render_scene(expected.data(), scenes[frame_number / 2], frame_number);
        EXPECT_EQ(memcmp(capture, expected.data(), expected.size()), 0) << frame_number;
    }
}
