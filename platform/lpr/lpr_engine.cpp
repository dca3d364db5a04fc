// The recognition engine stand-in: reads the plates that the fake camera
// draws from the frame's pixels alone.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#pragma GCC visibility push(default)
#include "board/lpr.h"
#pragma GCC visibility pop

#include "platform/lpr/odd_results.h"
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

// The plates to answer oddly, from LPR_ODD; a malformed list is reported and
// keeps only its items before the fault.
odd_plates_t odd_plates_from_environment() {
    odd_plates_t plates;
    const char* text = getenv("LPR_ODD");
    std::string problem;
    if (text && !parse_odd_plates(text, &plates, &problem))
        fprintf(stderr, "lpr: LPR_ODD: \"%s\" is not BODY=no-texts|short-image|throw\n",
                problem.c_str());
    return plates;
}

[[noreturn]] void fail_reading(const std::string& body) {
    throw std::runtime_error("lpr: cannot read plate " + body);
}

class PlateEngine final : public Brisvale::LPR {
  public:
    PlateEngine() : odd_(odd_plates_from_environment()) {}

    Brisvale::SingleResult recognizeSingle(const unsigned char* frame, int width,
                                           int height) override {
        Brisvale::SingleResult result;
        plate_reading_t reading;
        if (read_frame(frame, width, height, reading)) {
            const odd_result odd = odd_result_for(odd_, reading.body);
            if (odd == odd_result::exception)
                fail_reading(reading.body);
            if (odd != odd_result::no_texts) {
                result.body = reading.body;
                result.suffix = reading.suffix;
            }
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
        const odd_result odd = odd_result_for(odd_, reading.body);
        if (odd == odd_result::exception)
            fail_reading(reading.body);
        // The caller's buffer is overwritten by the next capture: the result
        // keeps a copy of the frame that showed the plate.
        const size_t kept = odd == odd_result::short_image ? FRAME_BYTES / 2 : FRAME_BYTES;
        result.second.image.assign(frame, frame + kept);
        if (odd != odd_result::no_texts) {
            result.second.body = reading.body;
            result.second.suffix = reading.suffix;
        }
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
    const odd_plates_t odd_;
    stream_tracker_t tracker_;
};

} // namespace

Brisvale::LPR* Brisvale::LPR::createInstance() {
    return new PlateEngine;
}
