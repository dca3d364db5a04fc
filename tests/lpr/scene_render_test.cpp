#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/lpr/plate_layout.h"
#include "tests/lpr/scene_helpers.h"

namespace {

constexpr int FIELD_ROWS = PAL_HEIGHT / 2;

box_t plate_box(const std::vector<unsigned char>& pal, int field) {
    return bright_box(pal.data(), PAL_WIDTH, field * FIELD_ROWS, FIELD_ROWS, plate::BRIGHT_MIN);
}

} // namespace

// The widest plate a scene holds, its texts filling their fields without a
// terminator: the plate's white is the only bright thing in both fields, it
// is neutral, and the car sways a little within the part the capture keeps.
TEST(SceneRender, WidestPlateIsTheOnlyBrightNeutralThingAndStaysInTheCapturedPart) {
    scene_t widest = car_scene("", "", 15, 0xFFFFFFFFu);
    memset(widest.body, 'W', sizeof widest.body);
    memset(widest.suffix, 'M', sizeof widest.suffix);
    const size_t cr = PAL_WIDTH * PAL_HEIGHT, cb = cr + cr / 4;
    std::set<int> lefts;
    for (unsigned n = 0; n < 64; n++) {
        auto pal = render_pal(widest, n);
        for (int field = 0; field < 2; field++) {
            box_t box = plate_box(pal, field);
            EXPECT_EQ(box.height, plate::INNER_H) << n;
            EXPECT_EQ(box.width, plate::inner_width(sizeof widest.body, sizeof widest.suffix)) << n;
            EXPECT_GE(box.x, 8 + plate::BORDER_W) << n;
            EXPECT_LE(box.x + box.width, 712 - plate::BORDER_W) << n;
            lefts.insert(box.x);
        }
        box_t box = plate_box(pal, 0);
        size_t at = size_t(box.y / 2 + 1) * (PAL_WIDTH / 2) + size_t(box.x / 2 + 1);
        EXPECT_TRUE(pal[cr + at] == 128 && pal[cb + at] == 128) << n;
    }
    EXPECT_GT(lefts.size(), 4u);
    EXPECT_LE(*lefts.rbegin() - *lefts.begin(), 16);
    auto empty = render_pal(scene_t{}, 0);
    EXPECT_EQ(plate_box(empty, 0).width + plate_box(empty, 1).width, 0);
}
