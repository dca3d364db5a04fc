#include "support/support_routines.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

int format_broken_down(char* buf, int size, const char* format, int local, time_t when) {
    struct tm parts;
    if (local) {
        // The zone comes from TZ, which main sets after the C library may
        // already have read an older one; localtime_r alone need not notice.
        tzset();
        localtime_r(&when, &parts);
    } else {
        gmtime_r(&when, &parts);
    }
    memset(buf, 0, static_cast<size_t>(size));
    // One byte short of the buffer, so its last byte always stays NUL.
    const size_t length = strftime(buf, static_cast<size_t>(size) - 1, format, &parts);
    // A text that did not fit may be left behind partly written; the result
    // 0 says nothing was made, so the buffer must not hold a text either.
    if (length == 0)
        memset(buf, 0, static_cast<size_t>(size));
    return static_cast<int>(length);
}

int format_seconds(char* buf, int size, int local, time_t when) {
    long seconds = static_cast<long>(when);
    if (!local) {
        // gmtime_r leaves tm_isdst 0, so mktime reads the UTC fields as local
        // standard time: the result is shifted by the zone's standard offset.
        struct tm parts;
        gmtime_r(&when, &parts);
        seconds = static_cast<long>(mktime(&parts));
    }
    const int wanted = snprintf(buf, static_cast<size_t>(size), "%ld", seconds);
    // Callers use the result as the length of what is in the buffer, so a
    // cut number counts only the characters that were kept.
    if (wanted < 0)
        return 0;
    return wanted < size ? wanted : size - 1;
}

} // namespace

void copy_field(char* to, size_t size, const char* from, size_t longest) {
    memset(to, 0, size);
    memcpy(to, from, strnlen(from, longest));
}

int get_cnv_date_time_str_ext(char* buf, int size, const char* format, int local,
                              const int32_t* t) {
    if (size < 2) {
        if (size == 1)
            buf[0] = '\0';
        return 0;
    }
    const time_t when = t != nullptr ? static_cast<time_t>(*t) : time(nullptr);
    if (format != nullptr && format[0] != '\0')
        return format_broken_down(buf, size, format, local, when);
    return format_seconds(buf, size, local, when);
}

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
