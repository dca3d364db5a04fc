// The fake camera drivers linked into a test program, set to answer every
// request at once with pattern frames.
#pragma once

#include "platform/camera/camera_fake.h"

inline void use_pattern_camera() {
    camera_fake_reset();
    camera_fake_use_scenario("", 0);
    camera_fake_use_frame_files(nullptr);
    camera_fake_use_pattern(1);
    camera_fake_set_speed(0);
}

inline camera_fake_stats fake_stats() {
    camera_fake_stats stats;
    camera_fake_get_stats(&stats);
    return stats;
}
