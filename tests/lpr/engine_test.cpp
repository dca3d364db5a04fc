#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <set>

#include "platform/lpr/plate_layout.h"
#include "recognizer/lpr.h"
#include "tests/common/syslog_capture.h"
#include "tests/lpr/scene_helpers.h"
#include "tests/video/output_capture.h"

namespace {

constexpr int CARS = 100;

// The service never destroys its engine; the tests keep theirs reachable so
// that the leak checker does not count them either.
Brisvale::LPR* new_engine() {
    static auto* kept = new std::vector<Brisvale::LPR*>;
    kept->push_back(Brisvale::LPR::createInstance());
    return kept->back();
}

Brisvale::SingleResult single(Brisvale::LPR* engine, const std::vector<unsigned char>& frame) {
    return engine->recognizeSingle(frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
}

std::pair<bool, Brisvale::StreamResult> stream(Brisvale::LPR* engine,
                                               const std::vector<unsigned char>& frame) {
    return engine->recognizeStream(1, frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
}

// Every car is read in each of its frames, and reported once in the stream;
// half the cars leave an empty road behind them, the others are followed at
// once by the next car.
TEST(Engine, AHundredCarsReadInEveryFrameAndReportedOnceWithFrameKindAndTexts) {
    auto cars = test_cars(CARS);
    std::set<std::string> plates;
    for (const auto& car : cars)
        plates.insert(car.body + "|" + car.suffix);
    ASSERT_EQ(plates.size(), cars.size()) << "the scenario needs different plates";

    Brisvale::LPR* reader = new_engine();
    Brisvale::LPR* streamer = new_engine();
    unsigned n = 0;
    int found = 0;
    for (int i = 0; i < CARS; i++) {
        const std::string plate = cars[i].body + "|" + cars[i].suffix;
        for (int k = 0; k < 5; k++, n++) {
            auto frame = engine_frame(cars[i].scene, n);
            auto one = single(reader, frame);
            EXPECT_EQ(one.body + "|" + one.suffix, plate) << "car " << i;
            EXPECT_NE(one.status, 0) << "car " << i;
            auto result = stream(streamer, frame);
            if (!result.first)
                continue;
            found++;
            EXPECT_EQ(k, 2) << "car " << i << " not reported at its third frame";
            EXPECT_EQ(result.second.body + "|" + result.second.suffix, plate) << "car " << i;
            EXPECT_EQ(result.second.kind, i % 16) << "car " << i;
            EXPECT_TRUE(result.second.image == frame) << "car " << i << ": not its frame";
        }
        for (int k = 0; i % 2 == 0 && k < 3; k++, n++) {
            auto road = engine_frame(scene_t{}, n);
            auto one = single(reader, road);
            EXPECT_TRUE(one.body.empty() && one.suffix.empty() && one.status == 0) << n;
            EXPECT_FALSE(stream(streamer, road).first) << n;
        }
    }
    EXPECT_EQ(found, CARS);
}

TEST(EngineSingle, UnknownCharactersAreUnreadableAndBarePlatesArePlates) {
    Brisvale::LPR* engine = new_engine();
    // Characters the font lacks are smudged.
    auto odd = single(engine, engine_frame(car_scene("A-1b", "7.", 0), 0));
    EXPECT_EQ(odd.body + "|" + odd.suffix, "A*1*|7*");
    auto bare = single(engine, engine_frame(car_scene("", "", 9), 0));
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
        for (size_t n = 0; n < row.frames.size(); n++)
            if (stream(engine, engine_frame(scenes[row.frames[n]], n)).first)
                found.push_back(n);
        EXPECT_EQ(found, row.reported) << row.frames;
    }
}

TEST(EngineRobustness, BadFramesAndSizesGiveNoResult) {
    Brisvale::LPR* engine = new_engine();
    auto plate = engine_frame(car_scene("A123BC", "77", 1), 0);
    const int sizes[][2] = {{703, 288}, {704, 287},   {704, 576},         {352, 288},
                            {0, 0},     {-704, -288}, {INT_MAX, INT_MAX}, {704, INT_MIN}};
    for (const auto& size : sizes) {
        EXPECT_EQ(engine->recognizeSingle(plate.data(), size[0], size[1]).status, 0) << size[0];
        EXPECT_FALSE(engine->recognizeStream(1, plate.data(), size[0], size[1]).first) << size[1];
    }
    EXPECT_EQ(engine->recognizeSingle(nullptr, 704, 288).status, 0);
    EXPECT_FALSE(engine->recognizeStream(1, nullptr, 704, 288).first);

    // All black, all white, noise, and a white band as tall as a plate.
    std::vector<std::vector<unsigned char>> garbage(12, std::vector<unsigned char>(FRAME_BYTES));
    std::fill(garbage[1].begin(), garbage[1].end(), 255);
    std::fill(garbage[2].begin(), garbage[2].end(), 20);
    memset(garbage[2].data() + 100 * FRAME_WIDTH, 230, size_t(plate::INNER_H) * FRAME_WIDTH);
    uint32_t state = 7;
    for (size_t i = 3; i < garbage.size(); i++)
        for (auto& byte : garbage[i])
            byte = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 16);
    for (size_t i = 0; i < garbage.size(); i++)
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(single(engine, garbage[i]).status, 0) << "garbage " << i;
            EXPECT_FALSE(stream(engine, garbage[i]).first) << "garbage " << i;
        }
}

// Moves the picture's luma by (dx, dy), filling with dark.
std::vector<unsigned char> shifted(const std::vector<unsigned char>& frame, int dx, int dy) {
    std::vector<unsigned char> out(FRAME_BYTES, 30);
    for (int y = std::max(dy, 0); y < std::min(FRAME_HEIGHT, FRAME_HEIGHT + dy); y++)
        for (int x = std::max(dx, 0); x < std::min(FRAME_WIDTH, FRAME_WIDTH + dx); x++)
            out[size_t(y) * FRAME_WIDTH + x] = frame[size_t(y - dy) * FRAME_WIDTH + x - dx];
    return out;
}

// A plate flush with an edge of the frame is read whole; one pixel further
// its border is cut, and it is no plate.
TEST(EngineRobustness, PlateAtTheFrameEdgesIsReadWholeAndIgnoredCut) {
    Brisvale::LPR* engine = new_engine();
    auto frame = engine_frame(car_scene("K7", "5", 4), 0);
    box_t white = bright_box(frame.data(), FRAME_WIDTH, 0, FRAME_HEIGHT, plate::BRIGHT_MIN);
    ASSERT_GT(white.width, 0);
    // The shift that puts the border flush with each edge, and the direction
    // of one pixel more.
    const int edges[][4] = {{plate::BORDER_W - white.x, 0, -1, 0},
                            {FRAME_WIDTH - white.x - white.width - plate::BORDER_W, 0, 1, 0},
                            {0, plate::BORDER_H - white.y, 0, -1},
                            {0, FRAME_HEIGHT - white.y - white.height - plate::BORDER_H, 0, 1}};
    for (const auto& e : edges) {
        auto whole = single(engine, shifted(frame, e[0], e[1]));
        EXPECT_EQ(whole.body + "|" + whole.suffix, "K7|5") << e[0] << "," << e[1];
        EXPECT_EQ(single(engine, shifted(frame, e[0] + e[2], e[1] + e[3])).status, 0)
            << e[0] << "," << e[1];
    }
}

// The engine reports what it was given on standard error: the service's
// system log is the service's own.
TEST(EngineParameters, ReportsWhatItIsGivenOnStandardErrorOnly) {
    Brisvale::LPR* engine = new_engine();
    RecognizerParams params{};
    params.average_plate_width = 17.0;
    params.extra_sensitivity = 0.5;
    syslog_capture::clear();
    OutputCapture err(STDERR_FILENO);
    engine->setParameters(&params);
    // The flag is read as the byte it is; a stray value must not upset it.
    memset(reinterpret_cast<unsigned char*>(&params) + 24, 7, 1);
    engine->setParameters(&params);
    engine->setParameters(nullptr);
    const std::string given = "lpr: setParameters: average_plate_width 17.00, "
                              "extra_sensitivity 0.50, eliminate_geometry ";
    EXPECT_EQ(err.text(), given + "0, reserved 0.00\n" + given + "1, reserved 0.00\n" +
                              "lpr: setParameters: no parameters, keeping the defaults\n");
    EXPECT_TRUE(syslog_capture::all().empty());
}

} // namespace
