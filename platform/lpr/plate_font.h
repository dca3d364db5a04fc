// The plate font: 5 x 7 bitmap glyphs of the digits and the capital Latin
// letters, the only characters a plate carries.
#pragma once

#include <cstdint>

namespace plate {

constexpr int GLYPH_COUNT = 36;

// Row r of a glyph is bits 4..0 of rows[r], bit 4 the leftmost pixel.
struct glyph_t {
    char ch;
    uint8_t rows[7];
};

extern const glyph_t FONT[GLYPH_COUNT];

// The glyph of `ch`, or null when the font has none.
const glyph_t* find_glyph(char ch);

// The glyph's 35 pixels as one bit pattern, row by row from the top left, the
// form in which the reader compares what it sees with the font.
uint64_t glyph_bits(const glyph_t& glyph);

} // namespace plate
