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

std::vector<test_car_t> test_cars(int count) {
    static const char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static const char SYMBOLS[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    uint32_t state = 20240611u;
    auto next = [&state](uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    std::vector<test_car_t> cars;
    for (int i = 0; i < count; i++) {
        std::string body, suffix;
        // The first cars spell out the whole font; the rest look like real plates.
        if (i < 6) {
            body.assign(SYMBOLS + i * 6, 6);
        } else {
            body.push_back(LETTERS[next(26)]);
            for (int d = 0; d < 3; d++)
                body.push_back(char('0' + next(10)));
            body.push_back(LETTERS[next(26)]);
            body.push_back(LETTERS[next(26)]);
        }
        int suffix_digits = i % 10 == 9 ? 0 : 2 + int(next(2));
        for (int d = 0; d < suffix_digits; d++)
            suffix.push_back(char('0' + next(10)));
        uint32_t unreadable = 0;
        if (i % 4 == 3) {
            size_t length = body.size() + suffix.size();
            unreadable |= 1u << next(uint32_t(length));
            if (i % 8 == 7)
                unreadable |= 1u << next(uint32_t(length));
        }
        test_car_t car{car_scene(body.c_str(), suffix.c_str(), i % 16, unreadable), body, suffix};
        for (size_t c = 0; c < body.size() + suffix.size(); c++)
            if ((unreadable >> c) & 1u)
                (c < body.size() ? car.body[c] : car.suffix[c - body.size()]) = '*';
        cars.push_back(car);
    }
    return cars;
}
