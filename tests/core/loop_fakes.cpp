#include "tests/core/loop_fakes.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>
#include <syslog.h>

#include "access/access_base.h"
#include "access/access_decision.h"
#include "core/gv.h"
#include "links/shmgr_link.h"
#include "links/statemgr_link.h"
#include "support/support_routines.h"
#include "tests/core/fake_clock.h"
#include "video/capture_repack.h"

namespace loop_fakes {
namespace {

bool scripted = false;
Script script;
int current_iteration = 0;
std::vector<std::string> recorded;
std::vector<Decision> decided;

void record(const std::string& what) {
    recorded.push_back(std::to_string(current_iteration) + ": " + what);
}

std::string source_of(const unsigned char* frame) {
    const unsigned char* current = gv.frame_buffer.address;
    if (current != nullptr && memcmp(frame, current, FRAME_WIDTH) == 0 &&
        memcmp(frame + FRAME_WIDTH, current, FRAME_WIDTH) == 0)
        return "frame";
    if (std::all_of(frame, frame + 2 * FRAME_BYTES, [](unsigned char b) { return b == 0x5A; }))
        return "image";
    return "other";
}

} // namespace

void start(const Script& s) {
    script = s;
    scripted = true;
    fake_clock::start(start_time * 1000LL);
    current_iteration = 0;
    recorded.clear();
    decided.clear();
}

void finish() {
    scripted = false;
    fake_clock::finish();
}

int iteration() {
    return current_iteration;
}

const std::vector<std::string>& events() {
    return recorded;
}

const std::vector<Decision>& decisions() {
    return decided;
}

std::vector<int> iterations_of(const std::string& what) {
    std::vector<int> found;
    for (const std::string& event : recorded)
        if (event.substr(event.find(": ") + 2) == what)
            found.push_back(std::stoi(event));
    return found;
}

} // namespace loop_fakes

using namespace loop_fakes;

int msleep_ts(int ms) {
    if (!scripted) {
        const timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
        return nanosleep(&pause, nullptr);
    }
    if (ms == 10) {
        ++current_iteration;
        fake_clock::advance(script.pause_stands_for_ms);
    } else {
        record("pause " + std::to_string(ms));
        fake_clock::advance(ms);
    }
    return 0;
}

int process_states(int* request) {
    if (script.photo_requests.count(current_iteration) != 0)
        *request = 1;
    if (script.after_poll)
        script.after_poll(current_iteration);
    if (current_iteration >= script.iterations)
        stop = 1;
    return 0;
}

int say_signal(int value) {
    record("signal " + std::to_string(value));
    return 0;
}

int send_zero_block(int) {
    record("zero");
    return 0;
}

int load_access_base(const char* path) {
    record(std::string("reload ") + path);
    // Marks the reload's place among the log lines.
    syslog(0, "reload");
    if (script.during_reload)
        script.during_reload();
    return 0;
}

void test_recognized_number(long time, const char* number, unsigned char kind,
                            const unsigned char* frame, int width, int height) {
    if (width != 704 || height != 576)
        record("decision on a frame of the wrong size");
    decided.push_back(
        {current_iteration, time, number, kind, gv_access_by_button, source_of(frame)});
}
