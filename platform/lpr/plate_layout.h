// Geometry and brightness of a drawn licence plate, in pixels of one field
// (720 x 288 as drawn, 704 x 288 as the engine sees it). Drawing and reading
// share these numbers, so a plate that is drawn is always a plate that can be
// read, and the reader can tell a plate from the rest of the picture by its
// brightness alone.
//
// A plate is a white box with a black border, split by black dividers into
// three sections, left to right:
//   kind:   a 2 x 2 grid of cells, the plate kind as four bits (dark cell = 1),
//           most significant bit top left, then top right, bottom left, bottom
//           right, so kinds 0..15 can be drawn;
//   body:   the leading characters of the plate text;
//   suffix: the trailing characters (the region), in a box of its own.
// Characters are 5 x 7 bitmap glyphs, each glyph pixel drawn as 3 x 2 field
// pixels (15 x 14 in the field, 15 x 28 once the lines are doubled).
#pragma once

namespace plate {

constexpr int FONT_COLS = 5;
constexpr int FONT_ROWS = 7;
constexpr int SCALE_X = 3;
constexpr int SCALE_Y = 2;
constexpr int GLYPH_W = FONT_COLS * SCALE_X; // 15
constexpr int GLYPH_H = FONT_ROWS * SCALE_Y; // 14

constexpr int CHAR_PAD = 2;                        // white columns at each side of a glyph
constexpr int CHAR_PITCH = GLYPH_W + 2 * CHAR_PAD; // 19
constexpr int SECTION_MARGIN_X = 4;
constexpr int SECTION_MARGIN_Y = 3;
constexpr int INNER_H = 2 * SECTION_MARGIN_Y + GLYPH_H; // 20 rows of white inside the border

constexpr int KIND_MARGIN = 3;
constexpr int KIND_CELL_W = 6;
constexpr int KIND_CELL_H = 6;
constexpr int KIND_GAP = 2;
constexpr int KIND_SECTION_W = 2 * KIND_MARGIN + 2 * KIND_CELL_W + KIND_GAP; // 20
static_assert(2 * KIND_MARGIN + 2 * KIND_CELL_H + KIND_GAP == INNER_H,
              "the kind grid fills the plate's height");
constexpr int KIND_MAX = 15;

constexpr int DIVIDER_W = 2;
constexpr int BORDER_W = 2; // columns of border at the left and right
constexpr int BORDER_H = 2; // rows of border above and below

// Luma levels. Nothing but the plate's white is ever drawn at BRIGHT_MIN or
// above (SCENE_MAX plus the noise stays below it), and everything drawn as
// ink, border or smudge stays below INK_LIMIT.
constexpr int WHITE = 215;
constexpr int INK = 35;
constexpr int SMUDGE_MIN = 45;
constexpr int SMUDGE_MAX = 95;
constexpr int NOISE = 6; // luma noise is within +-NOISE
constexpr int SCENE_MAX = 155;
constexpr int BRIGHT_MIN = 170;
constexpr int INK_LIMIT = 125;
static_assert(SCENE_MAX + NOISE < BRIGHT_MIN && WHITE - NOISE >= BRIGHT_MIN, "white is unique");
static_assert(SMUDGE_MAX + NOISE < INK_LIMIT && WHITE - NOISE > INK_LIMIT, "ink is dark");

constexpr int section_width(int chars) {
    return 2 * SECTION_MARGIN_X + chars * CHAR_PITCH;
}

// Width of the white inside the border for a body and a suffix of these lengths.
constexpr int inner_width(int body_chars, int suffix_chars) {
    return KIND_SECTION_W + DIVIDER_W + section_width(body_chars) + DIVIDER_W +
           section_width(suffix_chars);
}

} // namespace plate
