// The fake's configuration: environment variables read at load time, and
// the calls through which a test steers it instead.
#include <cstdlib>
#include <cstring>

#include "platform/camera/fake_state.h"

namespace {

std::string environment(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

// CAMERA_SPEED: scenario seconds per real second, 0 for no waiting.
double speed_from_environment() {
    const std::string text = environment("CAMERA_SPEED");
    if (text.empty())
        return 1.0;
    char* end = nullptr;
    const double speed = strtod(text.c_str(), &end);
    if (*end != '\0' || !(speed >= 0) || speed > 1e6) {
        report("CAMERA_SPEED \"%s\" is not a factor from 0 up; using 1\n", text.c_str());
        return 1.0;
    }
    return speed;
}

double epoch_from_environment() {
    const std::string text = environment("CAMERA_EPOCH");
    if (text.empty())
        return -1;
    char* end = nullptr;
    const double epoch = strtod(text.c_str(), &end);
    if (*end != '\0' || !(epoch >= 0) || epoch > 1e9) {
        report("CAMERA_EPOCH \"%s\" is not a monotonic time; the first open starts the clock\n",
               text.c_str());
        return -1;
    }
    return epoch;
}

__attribute__((constructor)) void read_environment() {
    fake_state_t& state = fake();
    std::lock_guard<std::mutex> hold(state.lock);
    state.env_scenario = environment("CAMERA_SCENARIO");
    state.env_frames = environment("CAMERA_FRAMES");
    state.env_log = environment("CAMERA_LOG");
    const std::string pattern = environment("CAMERA_PATTERN");
    state.env_pattern = !pattern.empty() && pattern != "0";
    state.speed = speed_from_environment();
    state.env_epoch = epoch_from_environment();
}

// A control call replaces what the environment would have loaded.
fake_state_t& configured() {
    fake_state_t& state = fake();
    load_environment(state);
    return state;
}

} // namespace

fake_state_t& fake() {
    static fake_state_t* const state = new fake_state_t;
    return *state;
}

extern "C" {

int camera_fake_use_scenario(const char* text, size_t length) {
    std::lock_guard<std::mutex> hold(fake().lock);
    return load_scenario_text(configured(), text, length);
}

int camera_fake_use_scenario_file(const char* path) {
    std::lock_guard<std::mutex> hold(fake().lock);
    return load_scenario_file(configured(), path);
}

int camera_fake_use_frame_files(const char* colon_separated_paths) {
    std::lock_guard<std::mutex> hold(fake().lock);
    return load_frame_files(configured(), colon_separated_paths);
}

int camera_fake_use_frame_log(const char* path) {
    std::lock_guard<std::mutex> hold(fake().lock);
    return open_frame_log(configured(), path);
}

void camera_fake_use_pattern(int on) {
    std::lock_guard<std::mutex> hold(fake().lock);
    configured().pattern = on != 0;
}

void camera_fake_set_speed(double speed) {
    std::lock_guard<std::mutex> hold(fake().lock);
    fake().speed = speed;
}

void camera_fake_inject(enum camera_op op, unsigned skip, unsigned count, int result, int error) {
    if (op < 0 || op >= CAMERA_OP_COUNT)
        return;
    std::lock_guard<std::mutex> hold(fake().lock);
    fake().injections[op] = {skip, count, result, error};
}

void camera_fake_set_buffer_length(uint32_t buffer, uint32_t length) {
    std::lock_guard<std::mutex> hold(fake().lock);
    if (buffer == 0 || buffer == 3)
        fake().reported_length[buffer == 0 ? 0 : 1] = length;
}

void camera_fake_reset(void) {
    fake_state_t& state = fake();
    std::lock_guard<std::mutex> hold(state.lock);
    memset(state.injections, 0, sizeof state.injections);
    memset(state.reported_length, 0, sizeof state.reported_length);
    state.stats = {};
    state.stats.last_frame = -1;
    state.clock_started = false;
    state.last_frame = -1;
}

void camera_fake_get_stats(struct camera_fake_stats* stats) {
    std::lock_guard<std::mutex> hold(fake().lock);
    *stats = fake().stats;
}

} // extern "C"
