// One field of a PAL frame (720 x 288 luma, 360 x 144 per chroma plane) as a
// surface to paint on. Every painting call clips to the field, so shapes may
// reach past its edges.
#pragma once

#include <cstdint>

struct colour_t {
    uint8_t y;
    uint8_t cb; // U
    uint8_t cr; // V
};

struct field_canvas_t {
    unsigned char* luma; // 720 x 288
    unsigned char* cr;   // 360 x 144
    unsigned char* cb;   // 360 x 144
};

constexpr int FIELD_WIDTH = 720;
constexpr int FIELD_HEIGHT = 288;

// Field 0 is luma rows 0-287 and chroma rows 0-143 of the frame, field 1 the
// rows after them.
field_canvas_t field_canvas(unsigned char* pal_frame, int field);

void fill_rect(const field_canvas_t& canvas, int x, int y, int w, int h, colour_t colour);

// Luma alone, for detail finer than the chroma grid (glyphs, smudges).
void put_luma(const field_canvas_t& canvas, int x, int y, int value);
