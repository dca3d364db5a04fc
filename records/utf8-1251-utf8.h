// Conversion between UTF-8 and the Cyrillic code page Windows-1251.
#pragma once

#include <cstdint>

// Code points of the CP1251 bytes 0x80..0xBF (0x98, undefined there, is U+007F).
extern const int32_t wtable[64];

// Both return `out`, or null when `out` is null. `u8_to_w1251` needs at most
// strlen(in) + 1 bytes of output, `w1251_to_u8` at most 3 * strlen(in) + 1.
char* u8_to_w1251(char* out, const char* in);
char* w1251_to_u8(char* out, const char* in);
