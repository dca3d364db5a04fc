#include "platform/lpr/stream_tracker.h"

bool track_plate(stream_tracker_t& tracker, const plate_reading_t* reading) {
    if (!reading) {
        tracker.sightings = 0;
        if (++tracker.absent >= ABSENT_FRAMES_TO_LEAVE) {
            tracker.plate.clear();
            tracker.reported = false;
        }
        return false;
    }
    tracker.absent = 0;
    // The kind is part of what was read: the same text on a plate of another
    // kind is another plate.
    std::string plate =
        reading->body + '\n' + reading->suffix + '\n' + std::to_string(reading->kind);
    if (plate != tracker.plate) {
        tracker.plate = plate;
        tracker.sightings = 0;
        tracker.reported = false;
    }
    tracker.sightings++;
    if (tracker.reported || tracker.sightings < SIGHTINGS_TO_REPORT)
        return false;
    tracker.reported = true;
    return true;
}
