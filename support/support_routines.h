// Small helpers shared by the whole service: turning a time value into text
// and measuring intervals.
#pragma once

#include <cstdint>
#include <ctime>

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
