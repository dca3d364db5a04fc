#include "platform/lpr/plate_reader.h"

#include <vector>

#include "platform/lpr/plate_font.h"
#include "platform/lpr/plate_layout.h"

using namespace plate;

namespace {

// A row of the plate's inside holds at least its margins' white, a column at
// least its top and bottom margins' white (a smudge reaches one row into them).
constexpr int MIN_BRIGHT_IN_ROW = 2 * SECTION_MARGIN_X + 2 * KIND_MARGIN;
constexpr int MIN_BRIGHT_IN_COLUMN = 2 * (SECTION_MARGIN_Y - 1) - 1;
// Two glyphs differ in at least three pixels, so one wrong pixel still names
// a single glyph.
constexpr int MAX_WRONG_PIXELS = 1;

struct plane_t {
    const unsigned char* luma;
    int width;
    int height;
    int at(int x, int y) const { return luma[size_t(y) * size_t(width) + size_t(x)]; }
};

struct span_t {
    int start;
    int width;
};

int block_mean(const plane_t& p, int x, int y, int w, int h) {
    int sum = 0;
    for (int row = y; row < y + h; row++)
        for (int col = x; col < x + w; col++)
            sum += p.at(col, row);
    return sum / (w * h);
}

bool all_dark(const plane_t& p, int x, int y, int w, int h) {
    for (int row = y; row < y + h; row++)
        for (int col = x; col < x + w; col++)
            if (p.at(col, row) >= INK_LIMIT)
                return false;
    return true;
}

char read_glyph(const plane_t& p, int x, int y) {
    uint64_t seen = 0;
    for (int r = 0; r < FONT_ROWS; r++)
        for (int c = 0; c < FONT_COLS; c++) {
            bool ink =
                block_mean(p, x + c * SCALE_X, y + r * SCALE_Y, SCALE_X, SCALE_Y) < INK_LIMIT;
            seen = (seen << 1) | (ink ? 1u : 0u);
        }
    for (const glyph_t& glyph : FONT)
        if (__builtin_popcountll(seen ^ glyph_bits(glyph)) <= MAX_WRONG_PIXELS)
            return glyph.ch;
    return '*';
}

// False when the section's width fits no whole number of characters.
bool read_section(const plane_t& p, span_t section, int top, std::string& text) {
    int chars = (section.width - 2 * SECTION_MARGIN_X) / CHAR_PITCH;
    if (chars < 0 || section_width(chars) != section.width)
        return false;
    text.clear();
    for (int i = 0; i < chars; i++)
        text.push_back(read_glyph(p, section.start + SECTION_MARGIN_X + i * CHAR_PITCH + CHAR_PAD,
                                  top + SECTION_MARGIN_Y));
    return true;
}

int read_kind(const plane_t& p, int left, int top) {
    int kind = 0;
    for (int cell = 0; cell < 4; cell++) {
        int x = left + KIND_MARGIN + (cell % 2) * (KIND_CELL_W + KIND_GAP);
        int y = top + KIND_MARGIN + (cell / 2) * (KIND_CELL_H + KIND_GAP);
        kind = (kind << 1) | (block_mean(p, x, y, KIND_CELL_W, KIND_CELL_H) < INK_LIMIT ? 1 : 0);
    }
    return kind;
}

// Three white sections side by side, split by dark dividers and framed by the
// dark border; `top` is the first row of white.
bool read_sections(const plane_t& p, const span_t* s, int top, plate_reading_t& reading) {
    int left = s[0].start - BORDER_W;
    int right = s[2].start + s[2].width + BORDER_W;
    if (s[0].width != KIND_SECTION_W || left < 0 || right > p.width)
        return false;
    for (int i = 0; i < 2; i++)
        if (s[i + 1].start - (s[i].start + s[i].width) != DIVIDER_W ||
            !all_dark(p, s[i].start + s[i].width, top, DIVIDER_W, INNER_H))
            return false;
    if (!all_dark(p, left, top - BORDER_H, right - left, BORDER_H) ||
        !all_dark(p, left, top + INNER_H, right - left, BORDER_H) ||
        !all_dark(p, left, top, BORDER_W, INNER_H) ||
        !all_dark(p, right - BORDER_W, top, BORDER_W, INNER_H))
        return false;
    if (!read_section(p, s[1], top, reading.body) || !read_section(p, s[2], top, reading.suffix))
        return false;
    reading.kind = read_kind(p, s[0].start, top);
    return true;
}

// Tries the rows [top, top + INNER_H) as the inside of a plate.
bool read_plate_rows(const plane_t& p, int top, plate_reading_t& reading) {
    std::vector<span_t> spans;
    int run_start = -1;
    for (int x = 0; x <= p.width; x++) {
        int bright = 0;
        for (int y = top; x < p.width && y < top + INNER_H; y++)
            bright += p.at(x, y) >= BRIGHT_MIN;
        if (bright >= MIN_BRIGHT_IN_COLUMN) {
            if (run_start < 0)
                run_start = x;
        } else if (run_start >= 0) {
            spans.push_back({run_start, x - run_start});
            run_start = -1;
        }
    }
    for (size_t i = 0; i + 3 <= spans.size(); i++)
        if (read_sections(p, &spans[i], top, reading))
            return true;
    return false;
}

} // namespace

bool read_plate(const unsigned char* luma, int width, int height, plate_reading_t& reading) {
    if (!luma || width <= 0 || height < INNER_H + 2 * BORDER_H)
        return false;
    plane_t p{luma, width, height};
    // The plate's inside is the only run of rows with white in them, exactly
    // as tall as a plate; anything else is not a plate of ours.
    int run = 0;
    for (int y = 0; y <= height; y++) {
        int bright = 0;
        for (int x = 0; y < height && x < width; x++)
            bright += p.at(x, y) >= BRIGHT_MIN;
        if (bright >= MIN_BRIGHT_IN_ROW) {
            run++;
            continue;
        }
        int top = y - run;
        if (run == INNER_H && top >= BORDER_H && y + BORDER_H <= height &&
            read_plate_rows(p, top, reading))
            return true;
        run = 0;
    }
    return false;
}
