#include "tests/core/fake_clock.h"

#include <ctime>

namespace fake_clock {
namespace {

bool on = false;
long long now_ms = 0;

} // namespace

void start(long long ms_since_epoch) {
    now_ms = ms_since_epoch;
    on = true;
}

void advance(int ms) {
    now_ms += ms;
}

void finish() {
    on = false;
}

bool running() {
    return on;
}

long long seconds() {
    return now_ms / 1000;
}

} // namespace fake_clock

extern "C" time_t time(time_t* t) noexcept {
    time_t now = 0;
    if (fake_clock::running()) {
        now = static_cast<time_t>(fake_clock::seconds());
    } else {
        timespec real;
        clock_gettime(CLOCK_REALTIME, &real);
        now = real.tv_sec;
    }
    if (t != nullptr)
        *t = now;
    return now;
}
