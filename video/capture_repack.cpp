#include "video/capture_repack.h"

#include <cstring>

namespace {

// One block copy per row, of a length the optimiser is not allowed to see:
// knowing it, compilers expand each short copy into a string instruction
// whose start-up costs more than the C library's memcpy, and the repacking
// would take more than twice as long as a plain copy of the frame.
void copy_rows(unsigned char* to, size_t to_stride, const unsigned char* from, size_t from_stride,
               size_t rows) {
    size_t length = to_stride;
    __asm__("" : "+r"(length));
    for (size_t r = 0; r < rows; ++r)
        memcpy(to + r * to_stride, from + r * from_stride, length);
}

} // namespace

void repack_capture_buffer(unsigned char* frame, const unsigned char* capture) {
    const size_t luma_border = (CAPTURE_WIDTH - FRAME_WIDTH) / 2;
    const size_t chroma_border = luma_border / 2;
    copy_rows(frame, FRAME_WIDTH, capture + luma_border, CAPTURE_WIDTH, FRAME_HEIGHT);
    copy_rows(frame + FRAME_V_OFFSET, FRAME_CHROMA_WIDTH,
              capture + CAPTURE_V_OFFSET + chroma_border, CAPTURE_CHROMA_WIDTH,
              FRAME_CHROMA_HEIGHT);
    copy_rows(frame + FRAME_U_OFFSET, FRAME_CHROMA_WIDTH,
              capture + CAPTURE_U_OFFSET + chroma_border, CAPTURE_CHROMA_WIDTH,
              FRAME_CHROMA_HEIGHT);
}
