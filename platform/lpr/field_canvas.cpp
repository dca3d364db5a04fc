#include "platform/lpr/field_canvas.h"

#include <algorithm>
#include <cstring>

#include "platform/lpr/render.h"

namespace {

constexpr int CHROMA_WIDTH = FIELD_WIDTH / 2;
constexpr int CHROMA_HEIGHT = FIELD_HEIGHT / 2;
constexpr size_t CR_PLANE = PAL_WIDTH * PAL_HEIGHT;
constexpr size_t CB_PLANE = CR_PLANE + CR_PLANE / 4;

// Clips [start, start + length) to [0, limit); false when nothing is left.
bool clip(int& start, int& length, int limit) {
    int end = std::min(start + length, limit);
    start = std::max(start, 0);
    length = end - start;
    return length > 0;
}

} // namespace

field_canvas_t field_canvas(unsigned char* pal_frame, int field) {
    size_t luma_offset = size_t(field) * FIELD_WIDTH * FIELD_HEIGHT;
    size_t chroma_offset = size_t(field) * CHROMA_WIDTH * CHROMA_HEIGHT;
    return {pal_frame + luma_offset, pal_frame + CR_PLANE + chroma_offset,
            pal_frame + CB_PLANE + chroma_offset};
}

void fill_rect(const field_canvas_t& canvas, int x, int y, int w, int h, colour_t colour) {
    if (w <= 0 || h <= 0)
        return;
    // The chroma rectangle covers every chroma sample the luma one touches.
    int cx = x >> 1, cy = y >> 1;
    int cw = ((x + w + 1) >> 1) - cx, ch = ((y + h + 1) >> 1) - cy;
    if (clip(x, w, FIELD_WIDTH) && clip(y, h, FIELD_HEIGHT))
        for (int row = y; row < y + h; row++)
            memset(canvas.luma + size_t(row) * FIELD_WIDTH + x, colour.y, size_t(w));
    if (clip(cx, cw, CHROMA_WIDTH) && clip(cy, ch, CHROMA_HEIGHT))
        for (int row = cy; row < cy + ch; row++) {
            memset(canvas.cr + size_t(row) * CHROMA_WIDTH + cx, colour.cr, size_t(cw));
            memset(canvas.cb + size_t(row) * CHROMA_WIDTH + cx, colour.cb, size_t(cw));
        }
}

void put_luma(const field_canvas_t& canvas, int x, int y, int value) {
    if (x < 0 || x >= FIELD_WIDTH || y < 0 || y >= FIELD_HEIGHT)
        return;
    canvas.luma[size_t(y) * FIELD_WIDTH + x] =
        static_cast<unsigned char>(std::clamp(value, 0, 255));
}
