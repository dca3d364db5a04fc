#include "support/support_routines.h"

#include <ctime>

// Rate limits and waits measured on the wall clock would stall or flood when
// the board's clock is set back or forward by its time service.
int64_t monotonic_ms() {
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return 0;
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

time_t monotonic_seconds() {
    return static_cast<time_t>(monotonic_ms() / 1000);
}
