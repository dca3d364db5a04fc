#include "platform/statemgr/statemgrd.h"

#include <cstdarg>
#include <ctime>
#include <syslog.h>

namespace {

FILE* also_to = nullptr;

int64_t monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void log_lines(const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    vsyslog(LOG_DAEMON | LOG_NOTICE, fmt, ap);
    if (also_to != nullptr) {
        fputs("statemgrd: ", also_to);
        vfprintf(also_to, fmt, copy);
        fflush(also_to);
    }
    va_end(copy);
}

} // namespace

void statemgrd_log(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    log_lines(fmt, ap);
    va_end(ap);
}

void statemgrd_log_also_to(FILE* stream) {
    also_to = stream;
}

bool stmd_log_allowed(stmd_log_limit* limit, int64_t now_ms, unsigned* held_back) {
    if (limit->logged == 0 || now_ms - limit->window_start_ms >= STMD_LOG_WINDOW_MS) {
        limit->window_start_ms = now_ms;
        limit->logged = 0;
    }
    if (limit->logged >= STMD_LOG_BURST) {
        limit->held_back++;
        return false;
    }
    limit->logged++;
    *held_back = limit->held_back;
    limit->held_back = 0;
    return true;
}

void statemgrd_log_limited(stmd_log_limit* limit, const char* fmt, ...) {
    unsigned held_back = 0;
    if (!stmd_log_allowed(limit, monotonic_ms(), &held_back))
        return;
    if (held_back > 0)
        statemgrd_log("%u more lines like the next one were not logged\n", held_back);
    va_list ap;
    va_start(ap, fmt);
    log_lines(fmt, ap);
    va_end(ap);
}
