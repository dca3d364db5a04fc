#include "core/preview.h"

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "records/jpeg_compressor.h"
#include "tests/common/failing_malloc.h"
#include "tests/common/files.h"
#include "tests/common/jpeg.h"
#include "tests/common/syslog_capture.h"
#include "video/capture_repack.h"
#include "video/field_doubling.h"

namespace {

const char* const files[] = {"/tmp/video0.jpeg", "/tmp/video0-0.jpeg"};

std::vector<unsigned char> test_frame() {
    std::vector<unsigned char> frame(frame_bytes);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<unsigned char>(i / frame_width * 5 + i % 7);
    return frame;
}

} // namespace

// The preview shows the whole PAL picture: the frame's field with each row
// doubled, encoded as the doubling alone encodes, rows of every height
// different so that a picture put together in another order would differ.
TEST(Preview, IsTheFrameWithItsRowsDoubled) {
    std::vector<unsigned char> frame = test_frame();
    for (const char* path : files)
        unlink(path);
    Preview preview;
    start_preview(&preview);
    write_preview(&preview, frame.data());
    const std::string shown = read_text_file(files[0]);
    int width = 0;
    int height = 0;
    EXPECT_TRUE(jpeg_whole(shown, &width, &height));
    EXPECT_EQ(width, 704);
    EXPECT_EQ(height, 576);

    unsigned char* doubled = yuv_height_x_2(frame.data(), frame_width, frame_height);
    ASSERT_NE(doubled, nullptr);
    const std::string alone = scratch_dir("preview") + "/doubled.jpeg";
    EXPECT_EQ(encodeImage_to_file(doubled, alone.c_str(), frame_width, 2 * frame_height), 0);
    free(doubled);
    EXPECT_EQ(shown, read_text_file(alone));
    for (const char* path : files)
        unlink(path);
}

// Without memory for the doubled frame there is no preview this time: the
// log says so, and no file is opened for it, let alone linked.
TEST(Preview, NoMemoryForTheDoubledFrameWritesNothing) {
    if (!failing_malloc::available())
        GTEST_SKIP() << "the sanitizers' heap cannot be made to fail";
    std::vector<unsigned char> frame = test_frame();
    for (const char* path : files)
        unlink(path);
    Preview preview;
    start_preview(&preview);
    syslog_capture::clear();
    failing_malloc::arm(2 * frame_bytes);
    write_preview(&preview, frame.data());
    EXPECT_TRUE(failing_malloc::taken());
    EXPECT_EQ(syslog_capture::all(),
              std::vector<std::string>{"allocate_result: can't allocate 608256 bytes\n"});
    for (const char* path : files)
        EXPECT_FALSE(exists(path)) << path;
}
