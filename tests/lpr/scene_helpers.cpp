#include "tests/lpr/scene_helpers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

scene_t car_scene(const char* body, const char* suffix, int kind, uint32_t unreadable) {
    scene_t scene{};
    scene.car = true;
    snprintf(scene.body, sizeof scene.body, "%s", body);
    snprintf(scene.suffix, sizeof scene.suffix, "%s", suffix);
    scene.kind = kind;
    scene.unreadable = unreadable;
    return scene;
}

scene_t empty_scene() {
    return scene_t{};
}

std::vector<unsigned char> render_pal(const scene_t& scene, unsigned frame_number) {
    std::vector<unsigned char> pal(PAL_FRAME_BYTES);
    render_scene(pal.data(), scene, frame_number);
    return pal;
}

std::vector<unsigned char> cut_frame(const std::vector<unsigned char>& pal) {
    std::vector<unsigned char> frame(FRAME_BYTES);
    for (int r = 0; r < FRAME_HEIGHT; r++)
        memcpy(&frame[size_t(r) * FRAME_WIDTH], &pal[8 + size_t(r) * PAL_WIDTH], FRAME_WIDTH);
    const size_t chroma_plane = PAL_WIDTH * PAL_HEIGHT / 4;
    const size_t frame_chroma = FRAME_WIDTH * FRAME_HEIGHT / 4;
    for (int plane = 0; plane < 2; plane++) {
        const unsigned char* from = &pal[PAL_WIDTH * PAL_HEIGHT + plane * chroma_plane];
        unsigned char* to = &frame[FRAME_WIDTH * FRAME_HEIGHT + plane * frame_chroma];
        for (int r = 0; r < FRAME_HEIGHT / 2; r++)
            memcpy(to + size_t(r) * FRAME_WIDTH / 2, from + 4 + size_t(r) * PAL_WIDTH / 2,
                   FRAME_WIDTH / 2);
    }
    return frame;
}

std::vector<unsigned char> engine_frame(const scene_t& scene, unsigned frame_number) {
    return cut_frame(render_pal(scene, frame_number));
}

box_t bright_box(const unsigned char* luma, int stride, int first_row, int rows, int level) {
    int left = stride, right = -1, top = -1, bottom = -1;
    for (int r = 0; r < rows; r++)
        for (int x = 0; x < stride; x++)
            if (luma[size_t(first_row + r) * stride + x] >= level) {
                left = std::min(left, x);
                right = std::max(right, x);
                if (top < 0)
                    top = r;
                bottom = r;
            }
    if (right < 0)
        return {0, 0, 0, 0};
    return {left, top, right - left + 1, bottom - top + 1};
}
