#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "board/lpr.h"
#include "core/dravelber.h"
#include "support/gv.h"
#include "support/process_values.h"
#include "tests/camera/pattern_camera.h"
#include "tests/common/files.h"
#include "tests/common/jpeg.h"
#include "tests/common/syslog_capture.h"
#include "tests/core/loop_fakes.h"
#include "video/capture.h"
#include "video/capture_repack.h"

using loop_fakes::events_with;
using Strings = std::vector<std::string>;

namespace {

// Single-frame results given per iteration by the test.
class TestEngine : public Brisvale::LPR {
  public:
    std::function<Brisvale::SingleResult(int)> single = [](int) {
        return Brisvale::SingleResult{};
    };

    Brisvale::SingleResult recognizeSingle(const unsigned char*, int, int) override {
        return single(loop_fakes::iteration());
    }
    std::pair<bool, Brisvale::StreamResult> recognizeStream(int, const unsigned char*, int,
                                                            int) override {
        return {};
    }
    void reservedOperation() override {}
    void setParameters(const RecognizerParams*) override {}
};

const char* const previews[] = {"/tmp/video0.jpeg", "/tmp/video0-0.jpeg", "/tmp/video0-1.jpeg"};

std::string link_target() {
    char target[64] = {};
    return readlink(previews[0], target, sizeof target - 1) < 0 ? "none" : target;
}

bool is_jpeg(const char* path) {
    return jpeg_whole(read_text_file(path));
}

// Adds "WHEN TARGET" to `links` when the link names another file than at
// the last entry.
void note_link(Strings* links, const std::string& when) {
    const std::string target = link_target();
    if (links->back().substr(links->back().find(' ') + 1) != target)
        links->push_back(when + " " + target);
}

class Loop : public ::testing::Test {
  protected:
    void SetUp() override {
        use_pattern_camera();
        ASSERT_EQ(video_init_input(), 0);
        gv.recogn_single = 1;
        stop = 0;
        usr1_flag = 0;
        remove_previews();
        syslog_capture::clear();
    }
    void TearDown() override {
        video_close_input();
        remove_previews();
    }
    static void remove_previews() {
        for (const char* path : previews)
            if (unlink(path) != 0 && errno == EISDIR)
                rmdir(path);
    }
    void run(const loop_fakes::Script& script) {
        stop = 0;
        loop_fakes::run(script, [this] { EXPECT_EQ(dravelber(&engine), 0); });
    }
    TestEngine engine;
};

} // namespace

// One preview a second, to the two files in turn, the link naming the
// newest. One that cannot be written (a directory stands in the way at
// iteration 4) leaves the link on the last good file and is tried again on
// the same file, never on the linked one.
TEST_F(Loop, PreviewsAlternateAndTheLinkNeverNamesABrokenFile) {
    Strings links = {"0 none"};
    auto note = [&links](const std::string& when) { note_link(&links, when); };
    run({12,
         250,
         {},
         [&](int i) {
             note(std::to_string(i));
             if (i == 4) {
                 EXPECT_NE(access(previews[2], F_OK), 0); // one preview in the first second
                 EXPECT_EQ(mkdir(previews[2], 0700), 0);
             }
             if (i == 8) {
                 EXPECT_TRUE(is_jpeg(previews[1]));
                 EXPECT_EQ(rmdir(previews[2]), 0);
             }
         },
         nullptr});
    note("end");
    EXPECT_EQ(links, (Strings{"0 none", "2 /tmp/video0-0.jpeg", "9 /tmp/video0-1.jpeg",
                              "end /tmp/video0-0.jpeg"}));
    EXPECT_TRUE(is_jpeg(previews[1]) && is_jpeg(previews[2]));
}

// Single frames: a result counts by its texts or its status; whatever the
// engine throws ends that recognition only, and a photo request still gets
// its one decision, for "~~~HET~~~" when the engine sees nothing. Texts
// longer than the journals' twelve characters reach the decision cut.
TEST_F(Loop, SingleFramesPhotoRequestsAndEngineFailures) {
    engine.single = [](int i) -> Brisvale::SingleResult {
        if (i == 1)
            throw std::runtime_error("no memory for the plate finder");
        if (i == 2)
            throw 42;
        if (i == 3)
            return {"", "", 7};
        if (i == 5)
            return {"ABCDEFGHIJ", "*LMNOP", 0};
        return {};
    };
    run({5, 10, {2, 4, 5}, nullptr, nullptr});
    EXPECT_EQ(
        events_with("kind"),
        (Strings{"2: ~~~HET~~~ kind 2 button frame @0", "3:  kind 2 frame @0",
                 "4: ~~~HET~~~ kind 2 button frame @0", "5: ABCDEFGHIJ?L kind 2 button frame @0",
                 "5: ABCDEFGHIJ?L kind 2 button frame @0"}));
    EXPECT_EQ(syslog_capture::logged(),
              "dravelber: the engine failed: no memory for the plate finder\n"
              "dravelber: the engine failed\ndravelber: the engine failed\n");
}

// SIGUSR1 reloads at the next iteration; several before it give one reload,
// one during the reload another.
TEST_F(Loop, ReloadOnceForSignalsBeforeAndAgainForOneDuring) {
    usr1_flag = 1;
    bool again = true;
    run({4, 10, {}, nullptr, [&again] {
             if (again)
                 usr1_flag = 1;
             again = false;
         }});
    EXPECT_EQ(events_with("reload"), (Strings{"1: reload /var/local//accessbase.tpa",
                                              "2: reload /var/local//accessbase.tpa"}));
}

// A service started again finds the link its last life left. Its first
// preview goes to the file the link does not name, so the linked one is
// never rewritten under a reader, nor left broken by a cut.
TEST_F(Loop, AfterARestartTheFirstPreviewSparesTheLinkedFile) {
    const std::string left = "the last life's preview";
    write_text_file(previews[1], left);
    ASSERT_EQ(symlink(previews[1], previews[0]), 0);
    Strings links = {"0 /tmp/video0-0.jpeg"};
    bool spared = false; // the linked file as it was when the link moved
    run({6,
         250,
         {},
         [&](int i) {
             note_link(&links, std::to_string(i));
             if (links.size() == 2 && !spared)
                 spared = read_text_file(previews[1]) == left;
         },
         nullptr});
    note_link(&links, "end");
    EXPECT_EQ(links,
              (Strings{"0 /tmp/video0-0.jpeg", "2 /tmp/video0-1.jpeg", "5 /tmp/video0-0.jpeg"}));
    EXPECT_TRUE(spared);
    EXPECT_TRUE(is_jpeg(previews[1]) && is_jpeg(previews[2]));
}

// A camera that gives no picture from the start is reported lost before any
// picture came, and its picture once it comes.
TEST_F(Loop, NoPictureFromTheStartIsALoss) {
    camera_fake_inject(CAMERA_OP_STILL_IMAGE, 0, 1, -1, ETIME);
    run({2, 10, {}, nullptr, nullptr});
    EXPECT_EQ(events_with("signal"), (Strings{"1: signal 0", "2: signal 1"}));
}

// The stream carries zero blocks while it is idle, and a plate keeps them
// away for ten seconds: a reader takes the quiet for no car.
TEST_F(Loop, ZeroBlocksStopForTenSecondsAfterAPlate) {
    engine.single = [](int i) -> Brisvale::SingleResult {
        return i == 1 ? Brisvale::SingleResult{"A12", "*77", 0} : Brisvale::SingleResult{};
    };
    run({13, 1000, {}, nullptr, nullptr});
    EXPECT_EQ(events_with("zero"), (Strings{"1: zero", "12: zero", "13: zero"}));
}

// The same with the link on the other file: the first preview goes to the
// file the link does not name, whichever that is.
TEST_F(Loop, AfterARestartOnTheOtherFileTheFirstPreviewGoesToTheFirst) {
    write_text_file(previews[2], "the last life's preview");
    ASSERT_EQ(symlink(previews[2], previews[0]), 0);
    Strings links = {"0 /tmp/video0-1.jpeg"};
    run({3, 250, {}, [&](int i) { note_link(&links, std::to_string(i)); }, nullptr});
    EXPECT_EQ(links, (Strings{"0 /tmp/video0-1.jpeg", "2 /tmp/video0-0.jpeg"}));
}
