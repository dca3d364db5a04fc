#include <vector>

#include <gtest/gtest.h>

#include "platform/camera/camera_fake.h"
#include "video/capture_repack.h"

namespace {

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

// Distinct bytes show where each frame byte came from. The buffers are
// exactly as long as the layouts, so ASan sees any byte read or written past
// them; changing every dropped byte must leave the frame as it was.
TEST(CaptureRepack, EveryFrameByteComesFromItsPlaceAndNoDroppedByteReachesIt) {
    std::vector<unsigned char> capture(capture_bytes_read);
    for (size_t i = 0; i < capture.size(); ++i)
        capture[i] = camera_pattern_byte(7, static_cast<uint32_t>(i));
    std::vector<unsigned char> frame(frame_bytes), again(frame_bytes);
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

    size_t changed = 0;
    for (size_t i = 0; i < capture.size(); ++i)
        if (dropped(i)) {
            capture[i] = static_cast<unsigned char>(~capture[i]);
            ++changed;
        }
    repack_capture_buffer(again.data(), capture.data());
    EXPECT_EQ(changed, capture_bytes_read - frame_bytes);
    EXPECT_EQ(frame, again);
}
