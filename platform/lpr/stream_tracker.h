// Follows the plate through a stream of frames, so that each car is reported
// once: after it has been read the same way in a few frames in a row, and
// again only after it has left (no plate for a few frames, or another plate).
#pragma once

#include <string>

#include "platform/lpr/plate_reader.h"

constexpr int SIGHTINGS_TO_REPORT = 3;
constexpr int ABSENT_FRAMES_TO_LEAVE = 3;

struct stream_tracker_t {
    std::string plate; // the reading being followed; empty when none
    int sightings = 0; // frames in a row that showed it
    int absent = 0;    // frames in a row without a plate
    bool reported = false;
};

// Feeds one frame's reading (null when the frame showed no plate). True when
// this frame is the one to report.
bool track_plate(stream_tracker_t& tracker, const plate_reading_t* reading);
