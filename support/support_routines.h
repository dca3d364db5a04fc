// Small helpers shared by the whole service: appending a formatted line to a
// file, writing one to the console, turning a time value into text,
// measuring intervals and sleeping for a number of milliseconds.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <ctime>

// Appends the formatted text to `path` (created when missing). The file is
// opened and closed within the call, so it may be moved or unmounted between
// calls. 0 when the text reached the file, -1 when the file could not be
// opened or the text could not be written. Logs nothing.
int file_printf(const char* path, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int vfile_printf(const char* path, const char* fmt, va_list ap)
    __attribute__((format(printf, 2, 0)));

// file_printf on the system console.
int dbg_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Writes the time `*t` (the current time when `t` is null) into `buf` of
// `size` bytes and returns the length of the text, 0 when nothing was made.
// With a format: strftime of the local (`local` non-zero) or UTC break-down;
// the text has at most size - 2 characters and the buffer's last byte is NUL.
// Without a format (null or empty): the seconds as a decimal number; for UTC
// the number is the UTC break-down read back as local standard time.
// A size below 2 gives an empty text (size 1: one NUL; 0 or less: nothing).
int get_cnv_date_time_str_ext(char* buf, int size, const char* format, int local, const int32_t* t);

// Seconds and milliseconds of a clock that only moves forward, for
// intervals between events of this process; 0 if the clock cannot be read.
// Milliseconds in 64 bits: a 32-bit count runs over after 24 days up.
time_t monotonic_seconds();
int64_t monotonic_ms();

// Sleeps `ms` milliseconds; a signal ends the sleep early. Returns nanosleep's
// result: 0, or -1 with errno set (EINTR, or EINVAL for a negative count).
int msleep_ts(int ms);
