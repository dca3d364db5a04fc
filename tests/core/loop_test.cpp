#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/dravelber.h"
#include "core/gv.h"
#include "core/signals.h"
#include "recognizer/lpr.h"
#include "tests/camera/pattern_camera.h"
#include "tests/core/loop_fakes.h"
#include "tests/core/signal_actions.h"
#include "tests/links/logged.h"
#include "tests/support/scratch_dir.h"
#include "video/capture.h"
#include "video/capture_repack.h"

using loop_fakes::Decision;
using loop_fakes::Script;

namespace {

const char preview_link[] = "/tmp/video0.jpeg";
const char preview0[] = "/tmp/video0-0.jpeg";
const char preview1[] = "/tmp/video0-1.jpeg";

// An engine whose results the test gives per iteration; it checks that it
// is always shown the current 704 x 288 frame.
class TestEngine : public Brisvale::LPR {
  public:
    std::function<Brisvale::SingleResult(int)> single = [](int) {
        return Brisvale::SingleResult{};
    };
    std::function<std::pair<bool, Brisvale::StreamResult>(int)> stream = [](int) {
        return std::pair<bool, Brisvale::StreamResult>{};
    };
    int single_calls = 0;
    int stream_calls = 0;

    Brisvale::SingleResult recognizeSingle(const unsigned char* frame, int width,
                                           int height) override {
        check(frame, width, height);
        ++single_calls;
        return single(loop_fakes::iteration());
    }
    std::pair<bool, Brisvale::StreamResult> recognizeStream(int mode, const unsigned char* frame,
                                                            int width, int height) override {
        EXPECT_EQ(mode, 1);
        check(frame, width, height);
        ++stream_calls;
        return stream(loop_fakes::iteration());
    }
    void reservedOperation() override {}
    void setParameters(const RecognizerParams*) override {}

  private:
    static void check(const unsigned char* frame, int width, int height) {
        EXPECT_EQ(frame, gv.frame_buffer.address);
        EXPECT_EQ(width, 704);
        EXPECT_EQ(height, 288);
    }
};

Brisvale::SingleResult plate(const char* body, const char* suffix = "", int status = 0) {
    return {body, suffix, status};
}

std::pair<bool, Brisvale::StreamResult> found(const char* body, unsigned char kind,
                                              size_t image_bytes = FRAME_BYTES) {
    Brisvale::StreamResult result;
    result.image.assign(image_bytes, 0x5A);
    result.body = body;
    result.kind = kind;
    return {true, result};
}

void remove_previews() {
    for (const char* path : {preview_link, preview0, preview1})
        if (unlink(path) != 0 && errno == EISDIR)
            rmdir(path);
}

std::string link_target() {
    char target[64] = {};
    if (readlink(preview_link, target, sizeof target - 1) < 0)
        return "none";
    return target;
}

bool is_jpeg(const char* path) {
    const std::string bytes = read_text_file(path);
    return bytes.size() > 4 && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
           bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") == 0;
}

// The next capture fails the way a driver without a picture fails.
void fail_next_capture() {
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, EIO);
}

std::string describe(const Decision& d) {
    return std::to_string(d.iteration) + " " + d.number + " kind " + std::to_string(d.kind) +
           (d.by_button ? " button " : " ") + d.source;
}

std::vector<std::string> described_decisions() {
    std::vector<std::string> text;
    for (const Decision& d : loop_fakes::decisions())
        text.push_back(describe(d));
    return text;
}

class Loop : public ::testing::Test {
  protected:
    void SetUp() override {
        use_pattern_camera();
        ASSERT_EQ(video_init_input(), 0);
        gv.recogn_single = 0;
        stop = 0;
        usr1_flag = 0;
        remove_previews();
        syslog_capture::clear();
    }
    void TearDown() override {
        loop_fakes::finish();
        video_close_input();
        remove_previews();
        stop = 0;
        usr1_flag = 0;
    }
    void run(const Script& script) {
        loop_fakes::start(script);
        EXPECT_EQ(dravelber(&engine), 0);
        loop_fakes::finish();
    }

    TestEngine engine;
};

} // namespace

// Zero blocks go out while the last plate is more than ten seconds old, also
// on an iteration whose capture failed, and not before eleven seconds after
// a plate.
TEST_F(Loop, ZeroBlocksOnlyWhileNoPlateForMoreThanTenSeconds) {
    gv.recogn_single = 1;
    engine.single = [](int i) { return i == 2 ? plate("A123BC") : Brisvale::SingleResult{}; };
    fail_next_capture();
    Script script;
    script.iterations = 26;
    script.pause_stands_for_ms = 500;
    run(script);

    // Iteration 1 fails and pauses 3 s, so iteration 2 is at +4 s and
    // iteration k at +4 s + (k - 2) / 2 s: +15 s from iteration 24 on.
    EXPECT_EQ(loop_fakes::iterations_of("zero"), (std::vector<int>{1, 2, 24, 25, 26}));
    ASSERT_EQ(loop_fakes::decisions().size(), 1u);
    EXPECT_EQ(loop_fakes::decisions()[0].time, loop_fakes::start_time + 4);
}

// The state manager hears the signal state at the first capture and then
// only at each change; each failed capture pauses 3 s, and a photo request
// polled during one is consumed without a decision.
TEST_F(Loop, SignalStateReportedOncePerChange) {
    struct Case {
        std::vector<bool> captures;
        std::vector<std::string> expected;
    } cases[] = {
        {{true, false, false, true, true, false},
         {"1: signal 1", "2: signal 0", "2: pause 3000", "3: pause 3000", "4: signal 1",
          "6: signal 0", "6: pause 3000"}},
        {{false, false, true}, {"1: signal 0", "1: pause 3000", "2: pause 3000", "3: signal 1"}},
    };
    for (const Case& c : cases) {
        camera_fake_reset();
        stop = 0;
        if (!c.captures[0])
            fail_next_capture();
        Script script;
        script.iterations = static_cast<int>(c.captures.size());
        script.photo_requests = {2};
        script.after_poll = [&c](int i) {
            if (i < static_cast<int>(c.captures.size()) && !c.captures[i])
                fail_next_capture();
        };
        run(script);
        std::vector<std::string> reports;
        for (const std::string& event : loop_fakes::events())
            if (event.find("zero") == std::string::npos)
                reports.push_back(event);
        EXPECT_EQ(reports, c.expected);
        EXPECT_TRUE(loop_fakes::decisions().empty());
    }
}

// One preview per second, to the two files in turn, the link naming the
// newest. A preview that cannot be written leaves the link on the last good
// file and is tried again on the same file, never on the linked one.
TEST_F(Loop, PreviewsAlternateAndALinkNeverNamesABrokenFile) {
    std::vector<std::string> links; // "iteration target" at each change seen
    auto note_link = [&links](const std::string& when) {
        const std::string target = link_target();
        if (links.empty() || links.back().substr(links.back().find(' ') + 1) != target)
            links.push_back(when + " " + target);
    };
    Script script;
    script.iterations = 12;
    script.pause_stands_for_ms = 250; // a new second at iterations 4, 8 and 12
    script.after_poll = [&](int i) {
        note_link(std::to_string(i));
        if (i == 4) {
            // Iterations 2 and 3 fell into the first preview's second.
            EXPECT_NE(access(preview1, F_OK), 0);
            ASSERT_EQ(mkdir(preview1, 0700), 0); // cannot be written as a file
        }
        if (i == 5) {
            EXPECT_TRUE(is_jpeg(preview0));
        }
        if (i == 8) {
            ASSERT_EQ(rmdir(preview1), 0);
        }
    };
    run(script);
    note_link("end");

    EXPECT_EQ(links, (std::vector<std::string>{"1 none", "2 /tmp/video0-0.jpeg",
                                               "9 /tmp/video0-1.jpeg", "end /tmp/video0-0.jpeg"}));
    EXPECT_TRUE(is_jpeg(preview0));
    EXPECT_TRUE(is_jpeg(preview1));
}

// Single-frame mode hands on every result with a text or a status, with
// plate kind 2 and the current frame doubled.
TEST_F(Loop, SingleFrameResultsThatCount) {
    gv.recogn_single = 1;
    engine.single = [](int i) {
        switch (i) {
        case 1:
            return plate("A12", "*77");
        case 2:
            return plate("", "", 7);
        default:
            return Brisvale::SingleResult{};
        }
    };
    Script script;
    script.iterations = 3;
    run(script);
    EXPECT_EQ(described_decisions(),
              (std::vector<std::string>{"1 A12?77 kind 2 frame", "2  kind 2 frame"}));
    EXPECT_EQ(engine.stream_calls, 0);
}

// Stream mode goes by `found` alone and decides on the engine's image; an
// image that is not one whole 704 x 288 frame ends that recognition only.
TEST_F(Loop, StreamResultsByFoundWithTheirImage) {
    engine.stream = [](int i) {
        switch (i) {
        case 1: {
            auto result = found("A1", 1);
            result.first = false;
            return result;
        }
        case 2:
            return found("", 5);
        case 3:
            return found("B2", 1, FRAME_BYTES - 1);
        case 4:
            return found("B2", 1, FRAME_BYTES + 1);
        default:
            return found("C3", 1);
        }
    };
    Script script;
    script.iterations = 5;
    run(script);
    EXPECT_EQ(described_decisions(),
              (std::vector<std::string>{"2  kind 5 image", "5 C3 kind 1 image"}));
    EXPECT_EQ(logged(), "dravelber: stream image of 304127 bytes is not one 704 x 288 frame\n"
                        "dravelber: stream image of 304129 bytes is not one 704 x 288 frame\n");
    EXPECT_EQ(engine.single_calls, 0);
}

// A photo request makes exactly one more decision, by single-frame
// recognition of the current frame in either mode, for "~~~HET~~~" when the
// engine sees nothing; every decision of that iteration sees the request.
TEST_F(Loop, PhotoRequestDecidesWithOrWithoutAPlate) {
    engine.single = [](int i) { return i == 2 ? plate("P2") : Brisvale::SingleResult{}; };
    engine.stream = [](int i) {
        return i >= 3 ? found(i == 3 ? "S3" : "S4", 3) : std::pair<bool, Brisvale::StreamResult>{};
    };
    Script script;
    script.iterations = 4;
    script.photo_requests = {2, 3};
    run(script);
    EXPECT_EQ(described_decisions(),
              (std::vector<std::string>{"2 P2 kind 2 button frame", "3 S3 kind 3 button image",
                                        "3 ~~~HET~~~ kind 2 button frame", "4 S4 kind 3 image"}));
    EXPECT_EQ(engine.single_calls, 2);
}

// Whatever the engine throws ends that recognition with a log line; the
// loop goes on, and a photo request still gets its decision.
TEST_F(Loop, EngineExceptionEndsOnlyThatRecognition) {
    gv.recogn_single = 1;
    engine.single = [](int i) -> Brisvale::SingleResult {
        if (i == 1)
            throw std::runtime_error("no memory for the plate finder");
        if (i == 2)
            throw 42;
        return plate("A1");
    };
    Script script;
    script.iterations = 3;
    script.photo_requests = {2};
    run(script);
    EXPECT_EQ(described_decisions(),
              (std::vector<std::string>{"2 ~~~HET~~~ kind 2 button frame", "3 A1 kind 2 frame"}));
    EXPECT_EQ(logged(), "dravelber: the engine failed: no memory for the plate finder\n"
                        "dravelber: the engine failed\n"
                        "dravelber: the engine failed\n");
}

// Signals are acted on at iteration boundaries, and the lines they owe are
// written before what the loop does about them: two SIGUSR1 before the loop
// give two lines and one reload; one during the reload gives another; a
// SIGTERM lets the iteration under way end.
TEST_F(Loop, SignalsActedOnAtTheNextIterationAfterTheirLines) {
    DefaultSignalActions actions;
    signal(SIGUSR1, Usr1Handler);
    InstallParachute();
    raise(SIGUSR1);
    raise(SIGUSR1);
    gv.recogn_single = 1;
    engine.single = [](int i) {
        if (i == 3)
            raise(SIGTERM);
        return i == 3 ? plate("T3") : Brisvale::SingleResult{};
    };
    bool reloaded = false;
    Script script;
    script.iterations = 10;
    script.during_reload = [&reloaded] {
        if (!reloaded)
            raise(SIGUSR1);
        reloaded = true;
    };
    run(script);

    EXPECT_EQ(loop_fakes::iterations_of("reload /var/local//accessbase.tpa"),
              (std::vector<int>{1, 2}));
    EXPECT_EQ(logged(), "Usr1Handler: USR1Usr1Handler: USR1reloadUsr1Handler: USR1reload"
                        "Parachute: signal = 15\n");
    EXPECT_EQ(described_decisions(), std::vector<std::string>{"3 T3 kind 2 frame"});
    EXPECT_EQ(loop_fakes::iteration(), 3);
}
