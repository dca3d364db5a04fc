// The simulated engine as the service relies on it: unreadable characters
// come back as '*' and the stream reports a car once. Its odd answers
// (LPR_ODD) are driven through the service by the golden case loop/odd.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "board/lpr.h"
#include "platform/lpr/render.h"

namespace {

constexpr int FRAME_WIDTH = 704;
constexpr int FRAME_HEIGHT = 288;
constexpr size_t FRAME_BYTES = FRAME_WIDTH * FRAME_HEIGHT * 3 / 2;

scene_t car_scene(const char* body, const char* suffix, int kind) {
    scene_t scene{true, {}, {}, kind, 0};
    snprintf(scene.body, sizeof scene.body, "%s", body);
    snprintf(scene.suffix, sizeof scene.suffix, "%s", suffix);
    return scene;
}

// The 704 x 288 frame the capture device cuts out of the drawn PAL frame: the
// first field without the PAL line's edges (luma columns 8-711, chroma 4-355).
std::vector<unsigned char> engine_frame(const scene_t& scene, unsigned frame_number) {
    std::vector<unsigned char> pal(PAL_FRAME_BYTES);
    render_scene(pal.data(), scene, frame_number);
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

// The service never destroys its engine; the tests keep theirs reachable so
// that the leak checker does not count them either.
Brisvale::LPR* new_engine() {
    static auto* kept = new std::vector<Brisvale::LPR*>;
    kept->push_back(Brisvale::LPR::createInstance());
    return kept->back();
}

std::pair<bool, Brisvale::StreamResult> stream(Brisvale::LPR* engine,
                                               const std::vector<unsigned char>& frame) {
    return engine->recognizeStream(1, frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
}

TEST(EngineSingle, UnknownCharactersAreUnreadableAndBarePlatesArePlates) {
    Brisvale::LPR* engine = new_engine();
    auto odd = engine->recognizeSingle(engine_frame(car_scene("A-1b", "7.", 0), 0).data(),
                                       FRAME_WIDTH, FRAME_HEIGHT);
    EXPECT_EQ(odd.body + "|" + odd.suffix, "A*1*|7*");
    auto bare = engine->recognizeSingle(engine_frame(car_scene("", "", 9), 0).data(), FRAME_WIDTH,
                                        FRAME_HEIGHT);
    EXPECT_EQ(bare.body + bare.suffix, "");
    EXPECT_NE(bare.status, 0);
}

// One frame per letter: 'a' and 'b' two plates, 'A' the plate of 'a' with
// another kind, '-' the empty road; each row feeds a fresh engine.
TEST(EngineStream, ReportsACarOnceUntilItLeavesOrAnotherComes) {
    std::map<char, scene_t> scenes = {{'a', car_scene("A123BC", "77", 2)},
                                      {'b', car_scene("B456CE", "199", 2)},
                                      {'A', car_scene("A123BC", "77", 3)},
                                      {'-', scene_t{}}};
    const struct {
        std::string frames;
        std::vector<size_t> reported;
    } rows[] = {
        {"aaaaaaaaaa-aaaaaaaaaa", {2}}, // standing long, one frame lost on the way
        {"aa-aa", {}},                  // never three frames in a row
        {"aaa---aaa", {2, 8}},          // leaving for three frames re-arms
        {"aaabbbaaaa", {2, 5, 8}},      // another plate re-arms at once
        {"aaaaAAAA", {2, 6}},           // so does another kind
    };
    for (const auto& row : rows) {
        Brisvale::LPR* engine = new_engine();
        std::vector<size_t> found;
        for (size_t n = 0; n < row.frames.size(); n++) {
            const std::vector<unsigned char> frame = engine_frame(scenes[row.frames[n]], n);
            const auto result = stream(engine, frame);
            if (!result.first)
                continue;
            found.push_back(n);
            EXPECT_TRUE(result.second.image == frame) << row.frames << ": not its frame";
        }
        EXPECT_EQ(found, row.reported) << row.frames;
    }
}

} // namespace
