#include "tests/core/loop_fakes.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "access/access_base.h"
#include "access/access_decision.h"
#include "links/shmgr_link.h"
#include "links/statemgr_link.h"
#include "support/gv.h"
#include "support/msleep_ts.h"
#include "support/process_values.h"
#include "tests/core/fake_clock.h"
#include "video/capture_repack.h"

namespace {

loop_fakes::Script script;
int current = 0;
std::vector<std::string> recorded;

void record(const std::string& what) {
    recorded.push_back(std::to_string(current) + ": " + what);
    // A loop that no longer reaches its counted pause would run for ever;
    // stopped here, the test fails on what was recorded instead of hanging.
    if (recorded.size() > 10000)
        stop = 1;
}

std::string source_of(const unsigned char* frame) {
    const unsigned char* now = gv.frame_buffer.address;
    const bool doubled =
        memcmp(frame, now, frame_width) == 0 && memcmp(frame + frame_width, now, frame_width) == 0;
    return doubled ? "frame" : "other";
}

} // namespace

void loop_fakes::run(const Script& s, const std::function<void()>& loop) {
    script = s;
    current = 0;
    recorded.clear();
    // The wall clock moves only by the pauses while a loop runs.
    fake_clock::start(start_time * 1000LL);
    loop();
    fake_clock::finish();
}

int loop_fakes::iteration() {
    return current;
}

const std::vector<std::string>& loop_fakes::events() {
    return recorded;
}

std::vector<std::string> loop_fakes::events_with(const std::string& part) {
    std::vector<std::string> found;
    std::copy_if(
        recorded.begin(), recorded.end(), std::back_inserter(found),
        [&part](const std::string& event) { return event.find(part) != std::string::npos; });
    return found;
}

int msleep_ts(int ms) {
    if (ms == 10) {
        ++current;
        fake_clock::advance(script.pause_stands_for_ms);
    } else {
        record("pause " + std::to_string(ms));
        fake_clock::advance(ms);
    }
    return 0;
}

int process_states(int* request) {
    if (script.photo_requests.count(current) != 0)
        *request = 1;
    if (script.after_poll)
        script.after_poll(current);
    if (current >= script.iterations)
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
    if (script.during_reload)
        script.during_reload();
    return 0;
}

void test_recognized_number(long time, const char* number, unsigned char kind,
                            const unsigned char* frame, int width, int height) {
    record(std::string(number) + " kind " + std::to_string(kind) +
           (gv_access_by_button != 0 ? " button " : " ") +
           (width == 704 && height == 576 ? source_of(frame) : "wrong size") + " @" +
           std::to_string(time - loop_fakes::start_time));
}
