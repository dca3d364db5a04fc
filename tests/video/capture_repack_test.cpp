#include <vector>

#include <gtest/gtest.h>

#include "platform/camera/camera_fake.h"
#include "video/capture_repack.h"

namespace {

constexpr size_t PAL_BYTES = 622080;

std::vector<unsigned char> pattern(size_t bytes, unsigned frame) {
    std::vector<unsigned char> data(bytes);
    for (size_t i = 0; i < bytes; ++i)
        data[i] = camera_pattern_byte(frame, static_cast<uint32_t>(i));
    return data;
}

// Whether capture byte `offset` lies outside the first field's inner
// 704 x 288 picture, which the repacking drops.
bool dropped(size_t offset) {
    if (offset < 414720) {
        const size_t row = offset / 720, column = offset % 720;
        return row >= 288 || column < 8 || column >= 712;
    }
    const size_t plane = offset < 518400 ? 414720 : 518400;
    const size_t row = (offset - plane) / 360, column = (offset - plane) % 360;
    return row >= 144 || column < 4 || column >= 356;
}

} // namespace

// The buffers are exactly as long as the layouts, so ASan sees any byte read
// or written past them.
TEST(CaptureRepack, EveryFrameByteComesFromItsPlaceInTheCapture) {
    const std::vector<unsigned char> capture = pattern(CAPTURE_BYTES_READ, 7);
    std::vector<unsigned char> frame(FRAME_BYTES);
    repack_capture_buffer(frame.data(), capture.data());

    size_t wrong = 0;
    for (size_t r = 0; r < 288; ++r)
        for (size_t c = 0; c < 704; ++c)
            wrong += frame[704 * r + c] != capture[720 * r + 8 + c];
    for (size_t r = 0; r < 144; ++r)
        for (size_t c = 0; c < 352; ++c) {
            wrong += frame[202752 + 352 * r + c] != capture[414720 + 360 * r + 4 + c];
            wrong += frame[253440 + 352 * r + c] != capture[518400 + 360 * r + 4 + c];
        }
    EXPECT_EQ(wrong, 0u);
}

TEST(CaptureRepack, DroppedColumnsAndRowsNeverReachTheFrame) {
    std::vector<unsigned char> capture = pattern(PAL_BYTES, 3);
    std::vector<unsigned char> first(FRAME_BYTES), second(FRAME_BYTES);
    repack_capture_buffer(first.data(), capture.data());

    size_t changed = 0;
    for (size_t i = 0; i < PAL_BYTES; ++i)
        if (dropped(i)) {
            capture[i] = static_cast<unsigned char>(~capture[i]);
            ++changed;
        }
    repack_capture_buffer(second.data(), capture.data());

    EXPECT_EQ(changed, PAL_BYTES - FRAME_BYTES);
    EXPECT_EQ(first, second);
}
