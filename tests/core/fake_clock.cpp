#include "tests/core/fake_clock.h"

#include <ctime>

namespace {

bool on = false;
long long now_ms = 0;

} // namespace

void fake_clock::start(long long ms_since_epoch) {
    now_ms = ms_since_epoch;
    on = true;
}

void fake_clock::advance(int ms) {
    now_ms += ms;
}

void fake_clock::finish() {
    on = false;
}

extern "C" time_t time(time_t* t) noexcept {
    timespec now = {static_cast<time_t>(now_ms / 1000), 0};
    if (!on)
        clock_gettime(CLOCK_REALTIME, &now);
    if (t != nullptr)
        *t = now.tv_sec;
    return now.tv_sec;
}
