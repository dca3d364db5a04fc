#include <vector>

#include <gtest/gtest.h>

#include "core/gv.h"
#include "recognizer/lpr.h"

namespace {

// A stand-in engine: it proves the interface can be implemented and called
// through the base class, and records what reached it.
class fixed_engine final : public Brisvale::LPR {
  public:
    Brisvale::SingleResult recognizeSingle(const unsigned char* frame, int width,
                                           int height) override {
        last_frame = frame;
        last_width = width;
        last_height = height;
        return {};
    }
    std::pair<bool, Brisvale::StreamResult> recognizeStream(int mode, const unsigned char* frame,
                                                            int width, int height) override {
        last_mode = mode;
        last_frame = frame;
        last_width = width;
        last_height = height;
        return {};
    }
    void reservedOperation() override { ++reserved_calls; }
    void setParameters(const RecognizerParams* params) override { kept_params = params; }

    const unsigned char* last_frame = nullptr;
    int last_width = 0;
    int last_height = 0;
    int last_mode = 0;
    int reserved_calls = 0;
    const RecognizerParams* kept_params = nullptr;
};

} // namespace

TEST(EngineInterface, DefaultResultsDoNotCountAsPlates) {
    fixed_engine engine;
    Brisvale::LPR* lpr = &engine;
    std::vector<unsigned char> frame(704 * 288 * 3 / 2);

    Brisvale::SingleResult single = lpr->recognizeSingle(frame.data(), 704, 288);
    EXPECT_TRUE(single.body.empty());
    EXPECT_TRUE(single.suffix.empty());
    EXPECT_EQ(single.status, 0);
    EXPECT_EQ(engine.last_frame, frame.data());
    EXPECT_EQ(engine.last_width, 704);
    EXPECT_EQ(engine.last_height, 288);

    std::pair<bool, Brisvale::StreamResult> stream =
        lpr->recognizeStream(1, frame.data(), 704, 288);
    EXPECT_FALSE(stream.first);
    EXPECT_TRUE(stream.second.image.empty());
    EXPECT_TRUE(stream.second.body.empty());
    EXPECT_TRUE(stream.second.suffix.empty());
    EXPECT_EQ(stream.second.kind, 2);
    EXPECT_EQ(engine.last_mode, 1);
    EXPECT_EQ(engine.reserved_calls, 0);
}

TEST(EngineInterface, ParametersArePassedInPlace) {
    fixed_engine engine;
    Brisvale::LPR* lpr = &engine;
    lpr->setParameters(&gv.recognizer_params);
    EXPECT_EQ(engine.kept_params, &gv.recognizer_params);
}
