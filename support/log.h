// The service's one logging convention: every line goes to the system log at
// priority 0 and starts with the plain name of the function that logs it. A
// failure that comes with errno shows it as "%d [%s]" (number, then its text).
#pragma once

// Sends "<func>: <formatted text>" with syslog priority 0. The format does not
// carry the "%s: " prefix; it is added here so that no call can forget it.
void log_line(const char* func, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// A failure with errno: "<func>: <formatted text><errno> [<its text>]\n",
// errno as it was when the call began.
void log_errno(const char* func, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Log under the calling function's own name.
#define LOG(...) log_line(__func__, __VA_ARGS__)
#define LOG_ERRNO(...) log_errno(__func__, __VA_ARGS__)
