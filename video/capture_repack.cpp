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
    const size_t luma_border = (capture_width - frame_width) / 2;
    const size_t chroma_border = luma_border / 2;
    copy_rows(frame, frame_width, capture + luma_border, capture_width, frame_height);
    copy_rows(frame + frame_v_offset, frame_chroma_width,
              capture + capture_v_offset + chroma_border, capture_chroma_width,
              frame_chroma_height);
    copy_rows(frame + frame_u_offset, frame_chroma_width,
              capture + capture_u_offset + chroma_border, capture_chroma_width,
              frame_chroma_height);
}
