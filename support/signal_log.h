// The system log from inside a signal handler. A handler that ends the
// process cannot leave its line to syslog(3), which may allocate, take locks
// the interrupted flow holds, or use stdio, so it builds the line with these
// calls and sends it through a datagram socket opened at start-up, as the C
// library's syslog would have sent it.
#pragma once

#include <cstddef>

// A text built without stdio or the heap; what does not fit is cut.
struct SignalText {
    char bytes[512];
    size_t length = 0;
};

void add_text(SignalText* text, const char* part);
// `value` in decimal, padded with `pad` to `width` digits.
void add_number(SignalText* text, unsigned long value, size_t width, char pad);

// Opens the datagram socket to the system log at `path` (_PATH_LOG, the
// C library's syslog's own), under `ident` as openlog names the service;
// the string must outlive the process's handlers. 0, or -1 after logging
// why.
int open_signal_log(const char* ident, const char* path);
// Once no handler writes through it any more.
void close_signal_log();

// Sends "func: line" at priority 0 of LOG_USER ("<8>"), with the time stamp
// and "ident[pid]: " before it; nothing without an open socket. Safe in a
// signal handler.
void send_signal_log_line(const char* func, const SignalText& line);
