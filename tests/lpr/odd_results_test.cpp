#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/lpr/odd_results.h"
#include "recognizer/lpr.h"
#include "tests/lpr/scene_helpers.h"
#include "tests/video/output_capture.h"

namespace {

// An engine made while LPR_ODD holds `odd`, kept reachable as the service
// keeps its own.
Brisvale::LPR* engine_with(const char* odd) {
    static auto* kept = new std::vector<Brisvale::LPR*>;
    setenv("LPR_ODD", odd, 1);
    kept->push_back(Brisvale::LPR::createInstance());
    unsetenv("LPR_ODD");
    return kept->back();
}

struct Outcome {
    bool thrown = false;
    std::string texts; // body|suffix
    int status = 0;
    bool found = false;
    size_t image_bytes = 0;
};

Outcome read_single(Brisvale::LPR* engine, const char* body, const char* suffix) {
    Outcome out;
    auto frame = engine_frame(car_scene(body, suffix, 3), 0);
    try {
        auto result = engine->recognizeSingle(frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
        out.texts = result.body + "|" + result.suffix;
        out.status = result.status;
    } catch (const std::exception&) {
        out.thrown = true;
    }
    return out;
}

// Feeds the car until the stream reports it (or five frames went by).
Outcome read_stream(Brisvale::LPR* engine, const char* body, const char* suffix) {
    Outcome out;
    for (unsigned n = 0; n < 5 && !out.found && !out.thrown; n++) {
        auto frame = engine_frame(car_scene(body, suffix, 3), n);
        try {
            auto result = engine->recognizeStream(1, frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
            out.found = result.first;
            out.texts = result.second.body + "|" + result.second.suffix;
            out.image_bytes = result.second.image.size();
        } catch (const std::exception&) {
            out.thrown = true;
        }
    }
    return out;
}

// Only the named plate is answered oddly; every other plate reads as drawn.
TEST(OddResults, OnlyTheNamedPlateIsAnsweredOddly) {
    struct Case {
        const char* odd;
        Outcome single, stream;
    } cases[] = {
        {"X111XX=no-texts", {false, "|", 1, false, 0}, {false, "|", 0, true, FRAME_BYTES}},
        {"X111XX=short-image",
         {false, "X111XX|77", 1, false, 0},
         {false, "X111XX|77", 0, true, FRAME_BYTES / 2}},
        {"X111XX=throw", {true, "", 0, false, 0}, {true, "", 0, false, 0}},
    };
    for (const auto& c : cases) {
        Brisvale::LPR* single = engine_with(c.odd);
        Brisvale::LPR* stream = engine_with(c.odd);
        for (const char* other : {"A123BC", "X111X"}) {
            const Outcome plain = read_single(single, other, "77");
            EXPECT_EQ(plain.texts, std::string(other) + "|77") << c.odd;
            const Outcome followed = read_stream(stream, other, "77");
            EXPECT_TRUE(followed.found && followed.image_bytes == FRAME_BYTES) << c.odd;
        }
        const Outcome one = read_single(single, "X111XX", "77");
        EXPECT_EQ(one.thrown, c.single.thrown) << c.odd;
        EXPECT_EQ(one.texts, c.single.texts) << c.odd;
        EXPECT_EQ(one.status, c.single.status) << c.odd;
        const Outcome many = read_stream(stream, "X111XX", "77");
        EXPECT_EQ(many.thrown, c.stream.thrown) << c.odd;
        EXPECT_EQ(many.found, c.stream.found) << c.odd;
        if (c.stream.found) {
            EXPECT_EQ(many.texts, c.stream.texts) << c.odd;
        }
        EXPECT_EQ(many.image_bytes, c.stream.image_bytes) << c.odd;
    }
}

TEST(OddResults, MalformedListKeepsTheItemsBeforeTheFaultAndIsReported) {
    odd_plates_t plates;
    std::string problem;
    EXPECT_TRUE(parse_odd_plates("A1=throw,B2=no-texts", &plates, &problem));
    EXPECT_EQ(plates.size(), 2u);
    EXPECT_EQ(odd_result_for(plates, "B2"), odd_result::no_texts);
    EXPECT_EQ(odd_result_for(plates, "B"), odd_result::none);
    for (const char* bad : {"A1=throw,=no-texts", "A1=throw,B2", "A1=throw,B2=late"}) {
        EXPECT_FALSE(parse_odd_plates(bad, &plates, &problem)) << bad;
        EXPECT_EQ(plates.size(), 1u) << bad;
    }
    OutputCapture err(STDERR_FILENO);
    Brisvale::LPR* engine = engine_with("X111XX=throw,junk");
    EXPECT_EQ(err.text(), "lpr: LPR_ODD: \"junk\" is not BODY=no-texts|short-image|throw\n");
    EXPECT_TRUE(read_single(engine, "X111XX", "77").thrown);
}

} // namespace
