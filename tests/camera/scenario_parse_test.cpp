#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/camera/scenario.h"

namespace {

struct parsed {
    scenario_t scenario;
    std::vector<scenario_problem> problems;
    int bad;
};

parsed parse(const std::string& text) {
    parsed p;
    p.bad = scenario_parse(text.data(), text.size(), &p.scenario, &p.problems);
    return p;
}

TEST(ScenarioParse, ReadsEveryEventKindAndIgnoresCommentsAndBlanks) {
    const parsed p = parse("# a morning at the gate\r\n"
                           "\n"
                           "0     empty\r\n"
                           "2.48\tcar A123BC 77 kind=1 unreadable=2,7   # dirty plate\n"
                           "3 car X1\n"
                           "4 loss ETIME 1.5\n"
                           "4 open-fail csi ENOENT\n"
                           "10 config-fail video 16 0.04"); // no line end at the end
    ASSERT_EQ(p.bad, 0);
    ASSERT_EQ(p.scenario.events.size(), 6u);
    const auto& e = p.scenario.events;

    EXPECT_EQ(e[0].kind, SCENARIO_SCENE);
    EXPECT_FALSE(e[0].scene.car);

    EXPECT_EQ(e[1].start, 62u);
    EXPECT_TRUE(e[1].scene.car);
    EXPECT_STREQ(e[1].scene.body, "A123BC");
    EXPECT_STREQ(e[1].scene.suffix, "77");
    EXPECT_EQ(e[1].scene.kind, 1);
    EXPECT_EQ(e[1].scene.unreadable, (1u << 1) | (1u << 6));

    EXPECT_STREQ(e[2].scene.suffix, "");
    EXPECT_EQ(e[2].scene.kind, 0);

    EXPECT_EQ(e[3].kind, SCENARIO_LOSS);
    EXPECT_EQ(e[3].start, 100u);
    EXPECT_EQ(e[3].frames, 38u); // 1.5 s is 37.5 frames, rounded up
    EXPECT_EQ(e[3].error, ETIME);

    EXPECT_EQ(e[4].kind, SCENARIO_OPEN_FAIL);
    EXPECT_EQ(e[4].device, CAMERA_CSI);
    EXPECT_EQ(e[4].frames, 0u); // until the end
    EXPECT_EQ(e[4].error, ENOENT);

    EXPECT_EQ(e[5].kind, SCENARIO_CONFIG_FAIL);
    EXPECT_EQ(e[5].device, CAMERA_VIDEO);
    EXPECT_EQ(e[5].frames, 1u);
    EXPECT_EQ(e[5].error, 16);
}

TEST(ScenarioParse, ReportsEveryBadLineByItsNumberAndKeepsTheGoodOnes) {
    const char* bad_lines[] = {
        "empty",                    // no time
        "x1 empty",                 // not a time
        "1.5.2 empty",              // not a time
        "12345678 empty",           // too far
        "1",                        // no event
        "1 fly",                    // unknown event
        "1 empty now",              // stray argument
        "1 car",                    // no plate
        "1 car a123bc",             // lower case
        "1 car A123BC 77 99",       // three texts
        "1 car ABCDEFGHIJKLMNOP",   // body too long
        "1 car A1 ABCDEFGH",        // suffix too long
        "1 car A1 kind=16",         // kind too big
        "1 car A1 kind=",           // kind missing
        "1 car A1 unreadable=3",    // only two characters
        "1 car A1 unreadable=0",    // positions count from 1
        "1 car A1 unreadable=1,,2", // empty position
        "1 car A1 colour=red",      // unknown option
        "1 loss",                   // no error
        "1 loss EWHAT",             // unknown error
        "1 loss 0",                 // no such errno
        "1 loss 4096",              // no such errno
        "1 loss ETIME 0.01",        // shorter than a frame
        "1 loss ETIME 2 3",         // stray argument
        "1 open-fail disk EIO",     // unknown device
        "1 config-fail mem EIO",    // the memory manager takes no configuration
        "1 open-fail csi",          // no error
    };
    std::string text = "5 car OK1\n";
    for (const char* line : bad_lines)
        text += std::string(line) + "\n";
    text += "1 empty\n";                      // earlier than the first line: time goes back
    text += std::string("6 car A1\0B\n", 11); // a NUL inside the plate
    text += "7 empty\n";

    const parsed p = parse(text);
    const size_t bad = sizeof bad_lines / sizeof bad_lines[0] + 2;
    ASSERT_EQ(p.problems.size(), bad);
    EXPECT_EQ(p.bad, static_cast<int>(bad));
    for (size_t i = 0; i < bad; ++i) {
        EXPECT_EQ(p.problems[i].line, i + 2) << p.problems[i].message;
        EXPECT_FALSE(p.problems[i].message.empty());
    }
    ASSERT_EQ(p.scenario.events.size(), 2u);
    EXPECT_STREQ(p.scenario.events[0].scene.body, "OK1");
    EXPECT_EQ(p.scenario.events[1].start, 175u);
}

} // namespace
