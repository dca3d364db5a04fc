#include "support/support_routines.h"

#include <ctime>

time_t monotonic_seconds() {
    // Rate limits measured on the wall clock would stall or flood when the
    // board's clock is set back or forward by its time service.
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return 0;
    return now.tv_sec;
}
