// The recognition engine stand-in: reads the plates that the fake camera
// draws from the frame's pixels alone.
#include <cstdio>
#include <cstring>

#pragma GCC visibility push(default)
#include "recognizer/lpr.h"
#pragma GCC visibility pop

#include "platform/lpr/plate_reader.h"
#include "platform/lpr/stream_tracker.h"

namespace {

constexpr int FRAME_WIDTH = 704;
constexpr int FRAME_HEIGHT = 288;
constexpr size_t FRAME_BYTES = size_t(FRAME_WIDTH) * FRAME_HEIGHT * 3 / 2;

// Only whole frames of the capture's size are looked at; anything else shows
// no plate.
bool read_frame(const unsigned char* frame, int width, int height, plate_reading_t& reading) {
    return frame && width == FRAME_WIDTH && height == FRAME_HEIGHT &&
           read_plate(frame, width, height, reading);
}

class PlateEngine final : public Brisvale::LPR {
  public:
    Brisvale::SingleResult recognizeSingle(const unsigned char* frame, int width,
                                           int height) override {
        Brisvale::SingleResult result;
        plate_reading_t reading;
        if (read_frame(frame, width, height, reading)) {
            result.body = reading.body;
            result.suffix = reading.suffix;
            result.status = 1;
        }
        return result;
    }

    // `mode` is 1 for a live stream, the only kind this engine knows.
    std::pair<bool, Brisvale::StreamResult> recognizeStream(int, const unsigned char* frame,
                                                            int width, int height) override {
        std::pair<bool, Brisvale::StreamResult> result;
        plate_reading_t reading;
        bool seen = read_frame(frame, width, height, reading);
        if (!track_plate(tracker_, seen ? &reading : nullptr))
            return result;
        // The caller's buffer is overwritten by the next capture: the result
        // keeps a copy of the frame that showed the plate.
        result.second.image.assign(frame, frame + FRAME_BYTES);
        result.second.body = reading.body;
        result.second.suffix = reading.suffix;
        result.second.kind = static_cast<unsigned char>(reading.kind);
        result.first = true;
        return result;
    }

    void reservedOperation() override {}

    // The block is read by byte offset: its flag byte may hold any value. The
    // real engine keeps a log of its own, so what it was given goes to
    // standard error, never into the service's system log.
    void setParameters(const RecognizerParams* params) override {
        if (!params) {
            fprintf(stderr, "lpr: %s: no parameters, keeping the defaults\n", __func__);
            return;
        }
        unsigned char eliminate_geometry;
        memcpy(&eliminate_geometry,
               reinterpret_cast<const unsigned char*>(params) +
                   offsetof(RecognizerParams, eliminate_geometry),
               1);
        fprintf(stderr,
                "lpr: %s: average_plate_width %.2f, extra_sensitivity %.2f, eliminate_geometry %d, "
                "reserved %.2f\n",
                __func__, params->average_plate_width, params->extra_sensitivity,
                eliminate_geometry ? 1 : 0, params->reserved);
    }

  private:
    stream_tracker_t tracker_;
};

} // namespace

Brisvale::LPR* Brisvale::LPR::createInstance() {
    return new PlateEngine;
}
