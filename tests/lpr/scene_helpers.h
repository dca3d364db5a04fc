// Scenes and frames for the drawing and engine tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/lpr/render.h"

constexpr int FRAME_WIDTH = 704;
constexpr int FRAME_HEIGHT = 288;
constexpr size_t FRAME_BYTES = FRAME_WIDTH * FRAME_HEIGHT * 3 / 2; // 304128

scene_t car_scene(const char* body, const char* suffix, int kind, uint32_t unreadable = 0);

std::vector<unsigned char> render_pal(const scene_t& scene, unsigned frame_number);

// The 704 x 288 frame the capture device cuts out of the drawn PAL frame: the
// first field without the PAL line's edges (luma columns 8-711, chroma 4-355).
std::vector<unsigned char> engine_frame(const scene_t& scene, unsigned frame_number);

// The smallest box holding every luma pixel of rows [first_row, first_row +
// rows) at or above `level`; width 0 when there is none.
struct box_t {
    int x, y, width, height;
};
box_t bright_box(const unsigned char* luma, int stride, int first_row, int rows, int level);

// A car of a test scenario: its scene and what a reader must return for it
// ('*' where a character is drawn unreadable).
struct test_car_t {
    scene_t scene;
    std::string body;
    std::string suffix;
};

// `count` cars with different plates: every character of the font, kinds
// 0..15 in turn, suffixes of two or three digits or none, and every fourth
// car with one or two unreadable characters.
std::vector<test_car_t> test_cars(int count);
