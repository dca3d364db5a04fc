#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "platform/camera/scenario.h"

namespace {

// An event in a line: its kind, first frame and length, then its scene or
// its device and errno (Linux numbers, the same on the board).
std::string described(const scenario_event& e) {
    static const char* const kinds[] = {"scene", "loss", "open-fail", "config-fail"};
    char text[128];
    snprintf(text, sizeof text, "%s %u+%u ", kinds[e.kind], e.start, e.frames);
    std::string line = text;
    if (e.kind == SCENARIO_SCENE)
        snprintf(text, sizeof text, "%d %.*s/%.*s kind %d unreadable %#x", e.scene.car,
                 static_cast<int>(sizeof e.scene.body), e.scene.body,
                 static_cast<int>(sizeof e.scene.suffix), e.scene.suffix, e.scene.kind,
                 e.scene.unreadable);
    else
        snprintf(text, sizeof text, "device %d errno %d", e.device, e.error);
    return line + text;
}

} // namespace

TEST(ScenarioParse, ReadsEveryEventKindAndIgnoresCommentsAndBlanks) {
    const std::string text = "# a morning at the gate\r\n"
                             "\n"
                             "0     empty\r\n"
                             "2.48\tcar A123BC 77 kind=1 unreadable=2,7   # dirty plate\n"
                             "3 car X1\n"
                             "4 loss ETIME 1.5\n" // 37.5 frames, rounded up
                             "4 open-fail csi ENOENT\n"
                             "10 config-fail video 16 0.04"; // no line end at the end
    scenario_t scenario;
    std::vector<scenario_problem> problems;
    ASSERT_EQ(scenario_parse(text.data(), text.size(), &scenario, &problems), 0);
    std::vector<std::string> events;
    for (const scenario_event& event : scenario.events)
        events.push_back(described(event));
    EXPECT_EQ(events, (std::vector<std::string>{
                          "scene 0+0 0 / kind 0 unreadable 0",
                          "scene 62+0 1 A123BC/77 kind 1 unreadable 0x42",
                          "scene 75+0 1 X1/ kind 0 unreadable 0",
                          "loss 100+38 device 0 errno 62",
                          "open-fail 100+0 device 1 errno 2",
                          "config-fail 250+1 device 2 errno 16",
                      }));
}

TEST(ScenarioParse, ReportsEveryBadLineByItsNumberAndKeepsTheGoodOnes) {
    const char* bad_lines[] = {
        // Times: none, malformed, too far; events: none, unknown, with a stray argument.
        "empty", "x1 empty", "1.5.2 empty", "12345678 empty", "1", "1 fly", "1 empty now",
        // Plates: none, lower case, three texts, body or suffix too long; a kind too big or
        // missing; unreadable positions past the plate, from 0 or empty; unknown options.
        "1 car", "1 car a123bc", "1 car A123BC 77 99", "1 car ABCDEFGHIJKLMNOP",
        "1 car A1 ABCDEFGH", "1 car A1 kind=16", "1 car A1 kind=", "1 car A1 unreadable=3",
        "1 car A1 unreadable=0", "1 car A1 unreadable=1,,2", "1 car A1 colour=red",
        // Failures: no error, an unknown name or number, shorter than a frame, a stray
        // argument, an unknown device, configuring the memory manager (it takes none).
        "1 loss", "1 loss EWHAT", "1 loss 0", "1 loss 4096", "1 loss ETIME 0.01",
        "1 loss ETIME 2 3", "1 open-fail disk EIO", "1 config-fail mem EIO", "1 open-fail csi"};
    std::string text = "5 car OK1\n";
    for (const char* line : bad_lines)
        text += std::string(line) + "\n";
    text += "1 empty\n";                      // earlier than the first line: time goes back
    text += std::string("6 car A1\0B\n", 11); // a NUL inside the plate
    text += "7 empty\n";

    scenario_t scenario;
    std::vector<scenario_problem> problems;
    const size_t bad = sizeof bad_lines / sizeof bad_lines[0] + 2;
    EXPECT_EQ(scenario_parse(text.data(), text.size(), &scenario, &problems),
              static_cast<int>(bad));
    ASSERT_EQ(problems.size(), bad);
    for (size_t i = 0; i < bad; ++i) {
        EXPECT_EQ(problems[i].line, i + 2) << problems[i].message;
        EXPECT_FALSE(problems[i].message.empty());
    }
    ASSERT_EQ(scenario.events.size(), 2u);
    EXPECT_STREQ(scenario.events[0].scene.body, "OK1");
    EXPECT_EQ(scenario.events[1].start, 175u);
}
