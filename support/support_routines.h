// Small helpers shared by the whole service: copying a text into a fixed
// field, turning a time value into text and measuring intervals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// Zero-fills the `size` bytes of the field `to`, then copies into it the text
// `from` up to its terminator and at most `longest` bytes (no more than
// `size`). A text from another program's file ends at its field's width,
// terminated or not, and no byte after a terminator is carried on; a
// `longest` below `size` keeps the field terminated.
void copy_field(char* to, size_t size, const char* from, size_t longest);

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
