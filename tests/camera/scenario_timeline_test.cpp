#include <cerrno>
#include <cstring>
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

// What frame `frame` shows: "" for nothing, the plate body for a car, or
// "error N" for a failed request.
std::string shown(const scenario_t& scenario, unsigned frame) {
    scene_t scene;
    memset(&scene, 0x55, sizeof scene);
    const int error = scenario_frame(scenario, frame, &scene);
    if (error)
        return "error " + std::to_string(error);
    return scene.car ? scene.body : "";
}

TEST(ScenarioTimeline, ScenesHoldFromTheirFrameUntilTheNext) {
    const scenario_t s = timeline("1 car A123BC 77\n"
                                  "3 empty\n"
                                  "3 car B2\n" // the same moment: the later line wins
                                  "4 empty\n");
    EXPECT_EQ(shown(s, 0), "");
    EXPECT_EQ(shown(s, 24), "");
    EXPECT_EQ(shown(s, 25), "A123BC");
    EXPECT_EQ(shown(s, 74), "A123BC");
    EXPECT_EQ(shown(s, 75), "B2");
    EXPECT_EQ(shown(s, 100), "");
    EXPECT_EQ(shown(s, 4000000000u), "");
    EXPECT_EQ(shown(timeline(""), 7), "");
}

TEST(ScenarioTimeline, LossFailsItsWindowAndThePictureComesBack) {
    const scenario_t s = timeline("1 car X1\n"
                                  "2 loss ETIME 1\n"
                                  "2.5 loss ERESTART 0.2\n" // overlapping: the later one
                                  "5 loss EIO\n");          // until the end
    EXPECT_EQ(shown(s, 49), "X1");
    EXPECT_EQ(shown(s, 50), "error " + std::to_string(ETIME));
    EXPECT_EQ(shown(s, 62), "error " + std::to_string(ETIME));
    EXPECT_EQ(shown(s, 63), "error " + std::to_string(ERESTART));
    EXPECT_EQ(shown(s, 67), "error " + std::to_string(ERESTART));
    EXPECT_EQ(shown(s, 68), "error " + std::to_string(ETIME));
    EXPECT_EQ(shown(s, 74), "error " + std::to_string(ETIME));
    EXPECT_EQ(shown(s, 75), "X1");
    EXPECT_EQ(shown(s, 125), "error " + std::to_string(EIO));
    EXPECT_EQ(shown(s, 4000000000u), "error " + std::to_string(EIO));
}

TEST(ScenarioTimeline, DeviceFailuresHitOnlyTheirDeviceAndStep) {
    const scenario_t s = timeline("0 open-fail csi ENOENT 1\n"
                                  "2 config-fail video EBUSY 0.4\n"
                                  "3 open-fail video ENODEV\n");
    EXPECT_EQ(scenario_open_error(s, 0, CAMERA_CSI), ENOENT);
    EXPECT_EQ(scenario_open_error(s, 24, CAMERA_CSI), ENOENT);
    EXPECT_EQ(scenario_open_error(s, 25, CAMERA_CSI), 0);
    EXPECT_EQ(scenario_open_error(s, 0, CAMERA_MEM_MGR), 0);
    EXPECT_EQ(scenario_config_error(s, 0, CAMERA_CSI), 0);

    EXPECT_EQ(scenario_config_error(s, 49, CAMERA_VIDEO), 0);
    EXPECT_EQ(scenario_config_error(s, 50, CAMERA_VIDEO), EBUSY);
    EXPECT_EQ(scenario_config_error(s, 60, CAMERA_VIDEO), 0);
    EXPECT_EQ(scenario_config_error(s, 55, CAMERA_CSI), 0);
    EXPECT_EQ(scenario_open_error(s, 55, CAMERA_VIDEO), 0);

    EXPECT_EQ(scenario_open_error(s, 75, CAMERA_VIDEO), ENODEV);
    EXPECT_EQ(scenario_open_error(s, 1000000, CAMERA_VIDEO), ENODEV);
    // Device failures never fail a still image.
    EXPECT_EQ(shown(s, 80), "");
}

} // namespace
