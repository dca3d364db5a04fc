#include "tests/lpr/scene_helpers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

scene_t car_scene(const char* body, const char* suffix, int kind, uint32_t unreadable) {
    scene_t scene{true, {}, {}, kind, unreadable};
    snprintf(scene.body, sizeof scene.body, "%s", body);
    snprintf(scene.suffix, sizeof scene.suffix, "%s", suffix);
    return scene;
}

std::vector<unsigned char> render_pal(const scene_t& scene, unsigned frame_number) {
    std::vector<unsigned char> pal(PAL_FRAME_BYTES);
    render_scene(pal.data(), scene, frame_number);
    return pal;
}

std::vector<unsigned char> engine_frame(const scene_t& scene, unsigned frame_number) {
    const std::vector<unsigned char> pal = render_pal(scene, frame_number);
    std::vector<unsigned char> frame(FRAME_BYTES);
    unsigned char* to = frame.data();
    const unsigned char* from = pal.data();
    for (int plane = 0, scale = 1; plane < 3; plane++, scale = 2) {
        const size_t pal_width = PAL_WIDTH / scale, width = FRAME_WIDTH / scale;
        for (int r = 0; r < FRAME_HEIGHT / scale; r++, to += width)
            memcpy(to, from + 8 / scale + r * pal_width, width);
        from += pal_width * (PAL_HEIGHT / scale);
    }
    return frame;
}

box_t bright_box(const unsigned char* luma, int stride, int first_row, int rows, int level) {
    int left = stride, right = -1, top = rows, bottom = -1;
    for (int r = 0; r < rows; r++)
        for (int x = 0; x < stride; x++)
            if (luma[size_t(first_row + r) * stride + x] >= level) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, r), bottom = r;
            }
    return right < 0 ? box_t{0, 0, 0, 0} : box_t{left, top, right - left + 1, bottom - top + 1};
}

std::vector<test_car_t> test_cars(int count) {
    static const char SYMBOLS[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    uint32_t state = 20240611u;
    auto next = [&state](uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    std::vector<test_car_t> cars;
    for (int i = 0; i < count; i++) {
        // The first cars spell out the whole font; the rest look like real plates.
        std::string body = i < 6 ? std::string(SYMBOLS + i * 6, 6) : "", suffix;
        for (const char* shape = "LDDDLL"; i >= 6 && *shape != '\0'; shape++)
            body.push_back(*shape == 'L' ? SYMBOLS[10 + next(26)] : SYMBOLS[next(10)]);
        for (int d = i % 10 == 9 ? 0 : 2 + int(next(2)); d > 0; d--)
            suffix.push_back(SYMBOLS[next(10)]);
        const size_t length = body.size() + suffix.size();
        uint32_t unreadable = 0;
        for (int k = i % 4 != 3 ? 0 : i % 8 == 7 ? 2 : 1; k > 0; k--)
            unreadable |= 1u << next(uint32_t(length));
        test_car_t car{car_scene(body.c_str(), suffix.c_str(), i % 16, unreadable), body, suffix};
        for (size_t c = 0; c < length; c++)
            if ((unreadable >> c) & 1u)
                (c < body.size() ? car.body[c] : car.suffix[c - body.size()]) = '*';
        cars.push_back(car);
    }
    return cars;
}
