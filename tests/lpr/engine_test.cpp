#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>

#include "platform/lpr/plate_layout.h"
#include "recognizer/lpr.h"
#include "tests/common/syslog_capture.h"
#include "tests/lpr/scene_helpers.h"

namespace {

constexpr int CARS = 100;

// The service never destroys its engine; the tests keep theirs reachable so
// that the leak checker does not count them either.
Brisvale::LPR* kept_engines[64];
int kept_count;

Brisvale::LPR* new_engine() {
    Brisvale::LPR* engine = Brisvale::LPR::createInstance();
    if (kept_count < int(sizeof kept_engines / sizeof kept_engines[0]))
        kept_engines[kept_count++] = engine;
    return engine;
}

Brisvale::SingleResult single(Brisvale::LPR* engine, const std::vector<unsigned char>& frame) {
    return engine->recognizeSingle(frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
}

std::pair<bool, Brisvale::StreamResult> stream(Brisvale::LPR* engine,
                                               const std::vector<unsigned char>& frame) {
    return engine->recognizeStream(1, frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
}

// Feeds the scenes in order, one frame each; returns the indices of the frames
// that reported a car.
std::vector<size_t> reports(Brisvale::LPR* engine, const std::vector<scene_t>& scenes) {
    std::vector<size_t> found;
    for (size_t n = 0; n < scenes.size(); n++)
        if (stream(engine, engine_frame(scenes[n], unsigned(n))).first)
            found.push_back(n);
    return found;
}

std::vector<scene_t> repeat(const scene_t& scene, int frames) {
    return std::vector<scene_t>(size_t(frames), scene);
}

std::vector<scene_t> operator+(std::vector<scene_t> a, const std::vector<scene_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(EngineSingle, ReadsEveryPlateOfAHundredCarsWithStarsWhereUnreadable) {
    auto cars = test_cars(CARS);
    std::set<std::string> plates;
    for (const auto& car : cars)
        plates.insert(car.body + "|" + car.suffix);
    ASSERT_EQ(plates.size(), cars.size()) << "the scenario needs different plates";

    Brisvale::LPR* engine = new_engine();
    for (int i = 0; i < CARS; i++)
        for (unsigned n = 0; n < 2; n++) {
            auto result = single(engine, engine_frame(cars[i].scene, unsigned(i) * 7 + n));
            EXPECT_EQ(result.body, cars[i].body) << "car " << i << " frame " << n;
            EXPECT_EQ(result.suffix, cars[i].suffix) << "car " << i << " frame " << n;
            EXPECT_NE(result.status, 0) << "car " << i;
        }
}

TEST(EngineSingle, EmptySceneAndUnknownCharactersAndOddKinds) {
    Brisvale::LPR* engine = new_engine();
    for (unsigned n = 0; n < 5; n++) {
        auto result = single(engine, engine_frame(empty_scene(), n));
        EXPECT_TRUE(result.body.empty() && result.suffix.empty() && result.status == 0) << n;
    }
    // Characters the font lacks are smudged, so they come back unreadable.
    auto odd = single(engine, engine_frame(car_scene("A-1b", "7.", 0), 0));
    EXPECT_EQ(odd.body, "A*1*");
    EXPECT_EQ(odd.suffix, "7*");
    // A plate with empty texts is still a plate.
    auto bare = single(engine, engine_frame(car_scene("", "", 9), 0));
    EXPECT_EQ(bare.body, "");
    EXPECT_EQ(bare.suffix, "");
    EXPECT_NE(bare.status, 0);
}

TEST(EngineStream, ReportsEachOfAHundredCarsOnceWithItsFrameKindAndTexts) {
    auto cars = test_cars(CARS);
    Brisvale::LPR* engine = new_engine();
    unsigned n = 0;
    int found = 0;
    for (int i = 0; i < CARS; i++) {
        // Half the cars leave an empty road behind them, the others are
        // followed at once by the next car.
        for (int k = 0; k < 5; k++, n++) {
            auto frame = engine_frame(cars[i].scene, n);
            auto result = stream(engine, frame);
            if (!result.first)
                continue;
            found++;
            EXPECT_EQ(k, 2) << "car " << i << " not reported at its third frame";
            EXPECT_EQ(result.second.body, cars[i].body) << "car " << i;
            EXPECT_EQ(result.second.suffix, cars[i].suffix) << "car " << i;
            EXPECT_EQ(result.second.kind, i % 16) << "car " << i;
            EXPECT_TRUE(result.second.image == frame) << "car " << i << ": not its frame";
        }
        if (i % 2 == 0) {
            for (int k = 0; k < 3; k++, n++)
                EXPECT_FALSE(stream(engine, engine_frame(empty_scene(), n)).first);
        }
    }
    EXPECT_EQ(found, CARS);
}

TEST(EngineStream, ReportsACarOnceUntilItLeavesOrAnotherComes) {
    scene_t a = car_scene("A123BC", "77", 2), b = car_scene("B456CE", "199", 2);
    scene_t a_other_kind = car_scene("A123BC", "77", 3);
    scene_t road = empty_scene();
    // Standing long, with a single lost frame on the way: once.
    EXPECT_EQ(reports(new_engine(), repeat(a, 20) + repeat(road, 1) + repeat(a, 20)),
              (std::vector<size_t>{2}));
    // Seen twice at a time only: never.
    EXPECT_TRUE(reports(new_engine(), repeat(a, 2) + repeat(road, 1) + repeat(a, 2)).empty());
    // Leaving for three frames re-arms for the same plate.
    EXPECT_EQ(reports(new_engine(), repeat(a, 3) + repeat(road, 3) + repeat(a, 3)),
              (std::vector<size_t>{2, 8}));
    // Another plate re-arms at once, and so does the first coming back.
    EXPECT_EQ(reports(new_engine(), repeat(a, 3) + repeat(b, 3) + repeat(a, 4)),
              (std::vector<size_t>{2, 5, 8}));
    EXPECT_EQ(reports(new_engine(), repeat(a, 4) + repeat(a_other_kind, 4)),
              (std::vector<size_t>{2, 6}));
    // An empty road never reports.
    EXPECT_TRUE(reports(new_engine(), repeat(road, 10)).empty());
}

TEST(EngineRobustness, BadFramesAndSizesGiveNoResult) {
    Brisvale::LPR* engine = new_engine();
    auto plate = engine_frame(car_scene("A123BC", "77", 1), 0);
    const int sizes[][2] = {{703, 288}, {704, 287},   {704, 576},         {352, 288},
                            {0, 0},     {-704, -288}, {INT_MAX, INT_MAX}, {704, INT_MIN}};
    for (int round = 0; round < 4; round++)
        for (const auto& size : sizes) {
            auto one = engine->recognizeSingle(plate.data(), size[0], size[1]);
            EXPECT_EQ(one.status, 0) << size[0] << "x" << size[1];
            EXPECT_FALSE(engine->recognizeStream(1, plate.data(), size[0], size[1]).first);
            EXPECT_EQ(engine->recognizeSingle(nullptr, 704, 288).status, 0);
            EXPECT_FALSE(engine->recognizeStream(1, nullptr, 704, 288).first);
        }

    std::vector<std::vector<unsigned char>> garbage = {
        std::vector<unsigned char>(FRAME_BYTES, 0), std::vector<unsigned char>(FRAME_BYTES, 255)};
    uint32_t state = 7;
    for (int i = 0; i < 20; i++) {
        std::vector<unsigned char> noise(FRAME_BYTES);
        for (auto& byte : noise) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<unsigned char>(state >> 16);
        }
        garbage.push_back(noise);
    }
    // A white band as tall as a plate, with no plate in it.
    std::vector<unsigned char> band(FRAME_BYTES, 20);
    memset(band.data() + 100 * FRAME_WIDTH, 230, size_t(plate::INNER_H) * FRAME_WIDTH);
    garbage.push_back(band);
    for (size_t i = 0; i < garbage.size(); i++)
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(single(engine, garbage[i]).status, 0) << "garbage " << i;
            EXPECT_FALSE(stream(engine, garbage[i]).first) << "garbage " << i;
        }
}

// Moves the picture's luma by (dx, dy), filling with dark, so the plate can be
// put right at an edge of the frame or partly beyond it.
std::vector<unsigned char> shifted(const std::vector<unsigned char>& frame, int dx, int dy) {
    std::vector<unsigned char> out(FRAME_BYTES, 30);
    for (int y = 0; y < FRAME_HEIGHT; y++)
        for (int x = 0; x < FRAME_WIDTH; x++) {
            int sx = x - dx, sy = y - dy;
            if (sx >= 0 && sx < FRAME_WIDTH && sy >= 0 && sy < FRAME_HEIGHT)
                out[size_t(y) * FRAME_WIDTH + x] = frame[size_t(sy) * FRAME_WIDTH + sx];
        }
    return out;
}

TEST(EngineRobustness, PlateAtTheFrameEdgesIsReadWholeAndIgnoredCut) {
    Brisvale::LPR* engine = new_engine();
    auto frame = engine_frame(car_scene("K7", "5", 4), 0);
    box_t white = bright_box(frame.data(), FRAME_WIDTH, 0, FRAME_HEIGHT, plate::BRIGHT_MIN);
    ASSERT_GT(white.width, 0);
    int left = white.x - plate::BORDER_W, top = white.y - plate::BORDER_H;
    int right = white.x + white.width + plate::BORDER_W;
    int bottom = white.y + white.height + plate::BORDER_H;
    struct {
        int dx, dy;
        bool whole;
    } moves[] = {{-left, 0, true},
                 {-left - 1, 0, false},
                 {FRAME_WIDTH - right, 0, true},
                 {FRAME_WIDTH - right + 1, 0, false},
                 {0, -top, true},
                 {0, -top - 1, false},
                 {0, FRAME_HEIGHT - bottom, true},
                 {0, FRAME_HEIGHT - bottom + 1, false}};
    for (const auto& move : moves) {
        auto result = single(engine, shifted(frame, move.dx, move.dy));
        if (move.whole) {
            EXPECT_EQ(result.body + "|" + result.suffix, "K7|5") << move.dx << "," << move.dy;
        } else {
            EXPECT_EQ(result.status, 0) << move.dx << "," << move.dy;
        }
    }
}

TEST(EngineParameters, LogsWhatItIsGiven) {
    Brisvale::LPR* engine = new_engine();
    RecognizerParams params{};
    params.average_plate_width = 17.0;
    params.extra_sensitivity = 0.5;
    syslog_capture::clear();
    engine->setParameters(&params);
    // The flag is read as the byte it is; a stray value must not upset it.
    memset(reinterpret_cast<unsigned char*>(&params) + 24, 7, 1);
    engine->setParameters(&params);
    engine->setParameters(nullptr);
    auto lines = syslog_capture::lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "setParameters: average_plate_width 17.00, extra_sensitivity 0.50, "
                             "eliminate_geometry 0, reserved 0.00\n");
    EXPECT_NE(lines[1].text.find("eliminate_geometry 1,"), std::string::npos) << lines[1].text;
    EXPECT_EQ(lines[2].text, "setParameters: no parameters, keeping the defaults\n");
    for (const auto& line : lines)
        EXPECT_EQ(line.priority, 0);
}

} // namespace
