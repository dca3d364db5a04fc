#include "platform/lpr/plate_draw.h"

#include <cstring>

#include "platform/lpr/plate_font.h"
#include "platform/lpr/plate_layout.h"

using namespace plate;

namespace {

constexpr colour_t PLATE_WHITE = {WHITE, 128, 128};
constexpr colour_t PLATE_INK = {INK, 128, 128};

// A smear of dark greys over the glyph's box and a pixel beyond it: no glyph
// of the font survives it, as with a plate covered in mud.
void draw_smudge(const field_canvas_t& canvas, int x, int y, unsigned seed) {
    unsigned state = seed * 2654435761u + 12345u;
    for (int row = y - 1; row < y + GLYPH_H + 1; row++)
        for (int col = x - 1; col < x + GLYPH_W + 1; col++) {
            state = state * 1103515245u + 12345u;
            int shade = SMUDGE_MIN + int((state >> 16) % unsigned(SMUDGE_MAX - SMUDGE_MIN + 1));
            put_luma(canvas, col, row, shade);
        }
}

void draw_glyph(const field_canvas_t& canvas, const glyph_t& glyph, int x, int y) {
    for (int r = 0; r < FONT_ROWS; r++)
        for (int c = 0; c < FONT_COLS; c++)
            if ((glyph.rows[r] >> (FONT_COLS - 1 - c)) & 1u)
                fill_rect(canvas, x + c * SCALE_X, y + r * SCALE_Y, SCALE_X, SCALE_Y, PLATE_INK);
}

// Draws the characters text[0..length) into the section starting at column
// `x`; character i is unreadable when bit (first_bit + i) of `unreadable` is set.
void draw_section(const field_canvas_t& canvas, const char* text, size_t length, int x, int y,
                  uint32_t unreadable, size_t first_bit, unsigned seed) {
    for (size_t i = 0; i < length; i++) {
        int glyph_x = x + SECTION_MARGIN_X + int(i) * CHAR_PITCH + CHAR_PAD;
        int glyph_y = y + SECTION_MARGIN_Y;
        size_t bit = first_bit + i;
        bool smudged = bit < 32 && ((unreadable >> bit) & 1u);
        const glyph_t* glyph = find_glyph(text[i]);
        if (smudged || !glyph)
            draw_smudge(canvas, glyph_x, glyph_y, seed + unsigned(bit));
        else
            draw_glyph(canvas, *glyph, glyph_x, glyph_y);
    }
}

void draw_kind(const field_canvas_t& canvas, int kind, int x, int y) {
    for (int cell = 0; cell < 4; cell++) {
        if (!((kind >> (3 - cell)) & 1))
            continue;
        int cell_x = x + KIND_MARGIN + (cell % 2) * (KIND_CELL_W + KIND_GAP);
        int cell_y = y + KIND_MARGIN + (cell / 2) * (KIND_CELL_H + KIND_GAP);
        fill_rect(canvas, cell_x, cell_y, KIND_CELL_W, KIND_CELL_H, PLATE_INK);
    }
}

} // namespace

void draw_plate(const field_canvas_t& canvas, const scene_t& scene, int centre_x, int top,
                unsigned seed) {
    // The text fields need not be terminated: they are read within their size.
    size_t body_length = strnlen(scene.body, sizeof scene.body);
    size_t suffix_length = strnlen(scene.suffix, sizeof scene.suffix);
    int body_w = section_width(int(body_length));
    int inner_w = inner_width(int(body_length), int(suffix_length));
    int left = centre_x - inner_w / 2 - BORDER_W;

    fill_rect(canvas, left, top, inner_w + 2 * BORDER_W, INNER_H + 2 * BORDER_H, PLATE_INK);
    int x = left + BORDER_W, y = top + BORDER_H;
    fill_rect(canvas, x, y, inner_w, INNER_H, PLATE_WHITE);

    draw_kind(canvas, scene.kind & KIND_MAX, x, y);
    x += KIND_SECTION_W;
    fill_rect(canvas, x, y, DIVIDER_W, INNER_H, PLATE_INK);
    x += DIVIDER_W;
    draw_section(canvas, scene.body, body_length, x, y, scene.unreadable, 0, seed);
    x += body_w;
    fill_rect(canvas, x, y, DIVIDER_W, INNER_H, PLATE_INK);
    x += DIVIDER_W;
    draw_section(canvas, scene.suffix, suffix_length, x, y, scene.unreadable, body_length, seed);
}
