// A scenario: the timeline of what the fake camera shows and how its drivers
// fail. Parsed from a line-based text (see SCENARIO.md); asked frame by frame.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/camera/camera_fake.h"
#include "platform/lpr/render.h"

constexpr unsigned SCENARIO_FRAMES_PER_SECOND = 25; // PAL

enum scenario_event_kind {
    SCENARIO_SCENE,
    SCENARIO_LOSS,
    SCENARIO_OPEN_FAIL,
    SCENARIO_CONFIG_FAIL
};

struct scenario_event {
    scenario_event_kind kind;
    unsigned start;       // first frame number it applies to
    unsigned frames;      // how many frames it lasts; 0 for a scene or "until the end"
    scene_t scene;        // SCENARIO_SCENE
    camera_device device; // SCENARIO_OPEN_FAIL, SCENARIO_CONFIG_FAIL
    int error;            // errno of a failure
};

// The clock stands still at `frame` until `file` exists.
struct scenario_hold {
    unsigned frame;
    std::string file;
};

struct scenario_t {
    std::vector<scenario_event> events; // in the order of their start
    std::vector<scenario_hold> holds;   // in the order of their frame
};

struct scenario_problem {
    unsigned line; // from 1
    std::string message;
};

// Parses `text` (any bytes). Good lines become events, each bad line a
// problem naming its line; returns the number of problems.
int scenario_parse(const char* text, size_t length, scenario_t* scenario,
                   std::vector<scenario_problem>* problems);

// For frame `frame`: 0 with `scene` filled, or the errno a still-image
// request fails with.
int scenario_frame(const scenario_t& scenario, unsigned frame, scene_t* scene);
// The errno that opening `device` fails with at `frame`, or 0.
int scenario_open_error(const scenario_t& scenario, unsigned frame, camera_device device);
// The errno that configuring `device` (CSI configuration, or the video
// device's frame-rate divisor) fails with at `frame`, or 0.
int scenario_config_error(const scenario_t& scenario, unsigned frame, camera_device device);
