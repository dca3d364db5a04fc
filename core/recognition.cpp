#include "core/recognition.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

#include "access/access_decision.h"
#include "board/lpr.h"
#include "recognizer/car_number.h"
#include "support/gv.h"
#include "support/log.h"
#include "video/capture_repack.h"
#include "video/field_doubling.h"

namespace {

constexpr int width = static_cast<int>(frame_width);
constexpr int height = static_cast<int>(frame_height);
constexpr unsigned char single_frame_kind = 2;
constexpr char no_plate[] = "~~~HET~~~";

// The engine is a closed library: whatever it throws ends this one
// recognition, never the service.
template <typename Call> bool engine_call(Call call) {
    try {
        call();
        return true;
    } catch (const std::exception& error) {
        log_line("dravelber", "the engine failed: %s\n", error.what());
    } catch (...) {
        log_line("dravelber", "the engine failed\n");
    }
    return false;
}

bool recognize_single(Brisvale::LPR* engine, unsigned char* frame, Brisvale::SingleResult* result) {
    return engine_call([&] { *result = engine->recognizeSingle(frame, width, height); });
}

bool counts(const Brisvale::SingleResult& result) {
    return !result.body.empty() || !result.suffix.empty() || result.status != 0;
}

// Hands the plate with its doubled frame, which stays the caller's, to the
// access decision. Without a frame (the doubling logged why) nothing is
// decided.
bool decide(time_t now, const char* plate, unsigned char kind, const unsigned char* doubled) {
    if (doubled == nullptr)
        return false;
    test_recognized_number(static_cast<long>(now), plate, kind, doubled, width, 2 * height);
    return true;
}

// The decision on the doubling of the captured `frame`, freed after it.
bool decide_on_frame(time_t now, const char* plate, unsigned char kind, unsigned char* frame) {
    unsigned char* doubled = yuv_height_x_2(frame, width, height);
    const bool decided = decide(now, plate, kind, doubled);
    free(doubled);
    return decided;
}

bool recognize_single_frame(Brisvale::LPR* engine, unsigned char* frame, time_t now) {
    Brisvale::SingleResult result;
    if (!recognize_single(engine, frame, &result) || !counts(result))
        return false;
    char plate[13];
    make_car_number(plate, sizeof plate, result.body.c_str(), result.suffix.c_str());
    return decide_on_frame(now, plate, single_frame_kind, frame);
}

bool recognize_stream(Brisvale::LPR* engine, unsigned char* frame, time_t now) {
    std::pair<bool, Brisvale::StreamResult> result;
    if (!engine_call([&] { result = engine->recognizeStream(1, frame, width, height); }) ||
        !result.first)
        return false;
    Brisvale::StreamResult& found = result.second;
    // The decision reads a whole doubled frame; a shorter image would be
    // read past its end, a longer one is not a frame of this camera.
    if (found.image.size() != frame_bytes) {
        log_line("dravelber", "stream image of %zu bytes is not one %d x %d frame\n",
                 found.image.size(), width, height);
        return false;
    }
    char plate[13];
    make_car_number(plate, sizeof plate, found.body.c_str(), found.suffix.c_str());
    // Moved rather than copied: nothing to allocate. The parameter that takes
    // the image ends with this statement at the latest, so the engine's image
    // is released before the decision, not held through it beside the
    // doubled frame.
    unsigned char* doubled = yuv_height_x_2_vect(std::move(found.image), width, height);
    const bool decided = decide(now, plate, found.kind, doubled);
    free(doubled);
    return decided;
}

} // namespace

bool recognize_frame(Brisvale::LPR* engine, unsigned char* frame, time_t now) {
    return gv.recogn_single != 0 ? recognize_single_frame(engine, frame, now)
                                 : recognize_stream(engine, frame, now);
}

bool take_photo(Brisvale::LPR* engine, unsigned char* frame, time_t now) {
    // An engine that fails has seen nothing: the operator asked for a
    // decision and gets one.
    Brisvale::SingleResult result;
    char plate[13] = {};
    if (recognize_single(engine, frame, &result) && counts(result))
        make_car_number(plate, sizeof plate, result.body.c_str(), result.suffix.c_str());
    else
        snprintf(plate, sizeof plate, "%s", no_plate);
    return decide_on_frame(now, plate, single_frame_kind, frame);
}
