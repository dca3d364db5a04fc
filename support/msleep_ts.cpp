#include "support/msleep_ts.h"

#include <ctime>

int msleep_ts(int ms) {
    // A negative count gives a negative interval on purpose: nanosleep
    // refuses it with EINVAL at once instead of sleeping.
    struct timespec request;
    request.tv_sec = ms / 1000;
    request.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    return nanosleep(&request, nullptr);
}
