// The picture the fake camera shows: a scene at the barrier drawn into a PAL
// frame. The recognition engine stand-in reads the plate back from these
// pixels alone, so drawing and reading live side by side in this folder; the
// fake camera drivers link the drawing as the library plate_scene.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int PAL_WIDTH = 720;
constexpr int PAL_HEIGHT = 576;
constexpr size_t PAL_FRAME_BYTES = PAL_WIDTH * PAL_HEIGHT * 3 / 2; // 622080

struct scene_t {
    bool car;            // a car with a plate stands at the barrier
    char body[16];       // plate body, digits and capital Latin letters, e.g. "A123BC"
    char suffix[8];      // region suffix, e.g. "77"; may be empty
    int kind;            // plate kind 0..15, drawn on the plate as four bits (its low four bits)
    uint32_t unreadable; // bit i: character i of body, then suffix, is drawn unreadable
};

// The plate is a white box with a black border in three parts: a 2 x 2 grid of
// cells that shows the kind (a dark cell is a set bit, the most significant
// top left), the body and the suffix, each in a box of its own. Characters are
// 5 x 7 bitmap glyphs, 15 x 14 pixels in a field; a character flagged
// unreadable, or one the font lacks (anything but 0-9 and A-Z), is drawn as a
// dark smudge that no reader can read. The text fields are read within their
// size, terminated or not.

// Draws `scene` into `pal_frame`: 720 x 576 planar 4:2:0 (Y, then V, then U),
// holding the two fields of the PAL frame one after the other (luma rows
// 0-287 and chroma rows 0-143 are the first field, each field the whole scene
// at half the vertical resolution). `frame_number` moves the car and the
// noise a little from frame to frame, as live video does.
void render_scene(unsigned char* pal_frame, const scene_t& scene, unsigned frame_number);
