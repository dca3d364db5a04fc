// The passage record. It is appended byte for byte to "passbase.tpp" and
// copied to the front of every passage block of the shared-memory stream, so
// other programs read it by offset: 116 bytes, little-endian, no gaps. The
// fields fall on their natural alignment, so no packing is needed.
#pragma once

#include <cstddef>
#include <cstdint>

struct _parking_rec_t {
    int32_t time;     // passage time, seconds since the epoch (UTC)
    char number[13];  // plate text, zero-terminated and zero-padded
    uint8_t kind;     // plate-kind byte
    uint8_t in_list;  // 1 when the number matched the access base
    int8_t access;    // 1 entry / -1 exit when admitted, else 0
    char text[64];    // CP1251 display text; may fill all 64 bytes
    char summary[32]; // CP1251 owner summary, zero-terminated
};

static_assert(sizeof(_parking_rec_t) == 116, "_parking_rec_t is 116 bytes");
static_assert(offsetof(_parking_rec_t, time) == 0, "layout");
static_assert(offsetof(_parking_rec_t, number) == 4, "layout");
static_assert(offsetof(_parking_rec_t, kind) == 17, "layout");
static_assert(offsetof(_parking_rec_t, in_list) == 18, "layout");
static_assert(offsetof(_parking_rec_t, access) == 19, "layout");
static_assert(offsetof(_parking_rec_t, text) == 20, "layout");
static_assert(offsetof(_parking_rec_t, summary) == 84, "layout");
