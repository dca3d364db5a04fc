#include <gtest/gtest.h>

#include "core/gv.h"
#include "recognizer/lpr.h"

namespace {

// The smallest engine: it proves the interface can be implemented and driven
// through the base class as the loop drives it.
class empty_engine final : public Brisvale::LPR {
  public:
    Brisvale::SingleResult recognizeSingle(const unsigned char*, int, int) override { return {}; }
    std::pair<bool, Brisvale::StreamResult> recognizeStream(int, const unsigned char*, int,
                                                            int) override {
        return {};
    }
    void reservedOperation() override {}
    void setParameters(const RecognizerParams* params) override { kept = params; }
    const RecognizerParams* kept = nullptr;
};

} // namespace

TEST(EngineInterface, DefaultResultsAreEmpty) {
    empty_engine engine;
    Brisvale::LPR* lpr = &engine;
    lpr->setParameters(&gv.recognizer_params);
    EXPECT_EQ(engine.kept, &gv.recognizer_params);

    unsigned char frame[16] = {};
    Brisvale::SingleResult single = lpr->recognizeSingle(frame, 704, 288);
    EXPECT_TRUE(single.body.empty() && single.suffix.empty());
    EXPECT_EQ(single.status, 0);
    std::pair<bool, Brisvale::StreamResult> stream = lpr->recognizeStream(1, frame, 704, 288);
    EXPECT_FALSE(stream.first);
    EXPECT_TRUE(stream.second.image.empty() && stream.second.body.empty() &&
                stream.second.suffix.empty());
    EXPECT_EQ(stream.second.kind, 2);
}
