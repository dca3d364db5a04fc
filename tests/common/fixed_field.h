// Kept for the areas not yet moved onto the test kit (tests/common/records.h).
// Fills a fixed-size text field of a record the way the writing programs do:
// the text, zeros after it, and no terminator when the text fills the field.
#pragma once

#include <cstring>

template <size_t N> void put_field(char (&field)[N], const char* text) {
    memset(field, 0, N);
    memcpy(field, text, strnlen(text, N));
}
