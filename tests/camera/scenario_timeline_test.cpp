#include <cstring>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "platform/camera/scenario.h"

namespace {

scenario_t timeline(const std::string& text) {
    scenario_t scenario;
    std::vector<scenario_problem> problems;
    EXPECT_EQ(scenario_parse(text.data(), text.size(), &scenario, &problems), 0);
    return scenario;
}

// What each of `frames` shows: "-" for nothing, the plate body for a car, or
// "e" and the errno of a failed request (Linux numbers, the same on the board).
std::string shown(const scenario_t& scenario, std::initializer_list<unsigned> frames) {
    std::string all;
    for (unsigned frame : frames) {
        scene_t scene;
        memset(&scene, 0x55, sizeof scene);
        const int error = scenario_frame(scenario, frame, &scene);
        all += error ? "e" + std::to_string(error) : scene.car ? scene.body : "-";
        all += " ";
    }
    return all;
}

} // namespace

TEST(ScenarioTimeline, ScenesHoldUntilTheNextAndLossFailsItsWindow) {
    const scenario_t scenes = timeline("1 car A123BC 77\n"
                                       "3 empty\n"
                                       "3 car B2\n" // the same moment: the later line wins
                                       "3.5 open-fail video ENODEV\n" // fails no still image
                                       "4 empty\n");
    EXPECT_EQ(shown(scenes, {0, 24, 25, 74, 75, 100, 4000000000u}), "- - A123BC A123BC B2 - - ");
    EXPECT_EQ(shown(timeline(""), {7}), "- ");
    const scenario_t losses = timeline("1 car X1\n"
                                       "2 loss ETIME 1\n"
                                       "2.5 loss ERESTART 0.2\n" // overlapping: the later one
                                       "5 loss EIO\n");          // until the end
    EXPECT_EQ(shown(losses, {49, 50, 62, 63, 67, 68, 74, 75, 125, 150, 4000000000u}),
              "X1 e62 e62 e85 e85 e62 e62 X1 e5 e5 e5 ");
}
