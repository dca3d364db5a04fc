#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/lpr/plate_font.h"
#include "platform/lpr/plate_layout.h"
#include "tests/lpr/scene_helpers.h"

namespace {

constexpr int FIELD_ROWS = PAL_HEIGHT / 2;

box_t plate_box(const std::vector<unsigned char>& pal, int field) {
    return bright_box(pal.data(), PAL_WIDTH, field * FIELD_ROWS, FIELD_ROWS, plate::BRIGHT_MIN);
}

} // namespace

TEST(PlateFont, EveryTwoGlyphsDifferInAtLeastThreePixels) {
    // A reader that accepts one wrong pixel can then never mistake one
    // character for another.
    for (int a = 0; a < plate::GLYPH_COUNT; a++)
        for (int b = a + 1; b < plate::GLYPH_COUNT; b++) {
            uint64_t diff = plate::glyph_bits(plate::FONT[a]) ^ plate::glyph_bits(plate::FONT[b]);
            EXPECT_GE(__builtin_popcountll(diff), 3) << plate::FONT[a].ch << plate::FONT[b].ch;
        }
    EXPECT_EQ(plate::find_glyph('a'), nullptr);
    ASSERT_NE(plate::find_glyph('Z'), nullptr);
    EXPECT_EQ(plate::find_glyph('Z')->ch, 'Z');
}

TEST(SceneRender, PlateIsTheOnlyBrightThingAndBothFieldsShowIt) {
    auto pal = render_pal(car_scene("A123BC", "77", 5), 0);
    for (int field = 0; field < 2; field++) {
        box_t box = plate_box(pal, field);
        EXPECT_EQ(box.height, plate::INNER_H) << field;
        EXPECT_EQ(box.width, plate::inner_width(6, 2)) << field;
    }
    auto empty = render_pal(empty_scene(), 0);
    EXPECT_EQ(plate_box(empty, 0).width, 0);
    EXPECT_EQ(plate_box(empty, 1).width, 0);
    EXPECT_NE(memcmp(pal.data(), empty.data(), PAL_WIDTH * FIELD_ROWS), 0);
}

TEST(SceneRender, PlateIsNeutralWhiteInBothChromaPlanes) {
    auto pal = render_pal(car_scene("K7", "", 0), 0);
    box_t box = plate_box(pal, 0);
    ASSERT_GT(box.width, 0);
    const size_t cr = PAL_WIDTH * PAL_HEIGHT, cb = cr + cr / 4;
    size_t at = size_t(box.y / 2 + 1) * (PAL_WIDTH / 2) + size_t(box.x / 2 + 1);
    EXPECT_EQ(pal[cr + at], 128);
    EXPECT_EQ(pal[cb + at], 128);
}

TEST(SceneRender, TextFieldsAreReadWithinTheirSize) {
    scene_t scene = car_scene("", "", 3);
    memset(scene.body, 'H', sizeof scene.body);
    memset(scene.suffix, '7', sizeof scene.suffix);
    auto pal = render_pal(scene, 0);
    EXPECT_EQ(plate_box(pal, 0).width,
              plate::inner_width(int(sizeof scene.body), int(sizeof scene.suffix)));
}

TEST(SceneRender, CarSwaysALittleAndStaysInTheCapturedPart) {
    scene_t widest = car_scene("", "", 15, 0xFFFFFFFFu);
    memset(widest.body, 'W', sizeof widest.body);
    memset(widest.suffix, 'M', sizeof widest.suffix);
    std::set<int> lefts, tops;
    std::vector<unsigned char> previous;
    for (unsigned n = 0; n < 64; n++) {
        auto pal = render_pal(widest, n);
        box_t box = plate_box(pal, 0);
        ASSERT_GT(box.width, 0) << n;
        EXPECT_GE(box.x, 8 + plate::BORDER_W) << n;
        EXPECT_LE(box.x + box.width, 712 - plate::BORDER_W) << n;
        lefts.insert(box.x);
        tops.insert(box.y);
        if (!previous.empty()) {
            EXPECT_NE(pal, previous) << "frame " << n << " repeats the one before";
        }
        previous = pal;
    }
    EXPECT_GT(lefts.size(), 4u);
    EXPECT_GT(tops.size(), 1u);
    EXPECT_LE(*lefts.rbegin() - *lefts.begin(), 16);
    EXPECT_LE(*tops.rbegin() - *tops.begin(), 4);
}
