#include "support/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <syslog.h>

void log_line(const char* func, const char* fmt, ...) {
    // One formatted text per line keeps a line whole even when syslog itself
    // splits its arguments; 1 KiB is well above any message of the service.
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    syslog(0, "%s: %s", func, text);
}

void log_errno(const char* func, const char* fmt, ...) {
    const int error = errno;
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    log_line(func, "%s%d [%s]\n", text, error, strerror(error));
}
