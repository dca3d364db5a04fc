// The pass journal in the net-base directory: every decision leaves one
// fixed-size record in "netpassbase.tpn" and one text line in
// "netpassbase.csv", admitted or refused, listed or not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "records/snapshot_archive.h"

struct _netpass_rec_t {
    int32_t time;      // passage time, seconds since the epoch
    char number[13];   // zero-terminated, zero-padded
    uint8_t kind;      // plate-kind byte
    uint8_t in_list;   // 1 when the number matched the access base
    int8_t access;     // 1 / -1 when admitted or let through, else 0
    char message[64];  // CP1251 decision message alone, zero-terminated
    char info[32];     // the access record's info within its period, else zero
    uint8_t by_button; // low byte of gv_access_by_button
    char deviceid[64]; // gv_deviceid, zero-padded
    uint8_t reserved[3];
};

static_assert(sizeof(_netpass_rec_t) == 184, "_netpass_rec_t is 184 bytes");
static_assert(offsetof(_netpass_rec_t, time) == 0, "layout");
static_assert(offsetof(_netpass_rec_t, number) == 4, "layout");
static_assert(offsetof(_netpass_rec_t, kind) == 17, "layout");
static_assert(offsetof(_netpass_rec_t, in_list) == 18, "layout");
static_assert(offsetof(_netpass_rec_t, access) == 19, "layout");
static_assert(offsetof(_netpass_rec_t, message) == 20, "layout");
static_assert(offsetof(_netpass_rec_t, info) == 84, "layout");
static_assert(offsetof(_netpass_rec_t, by_button) == 116, "layout");
static_assert(offsetof(_netpass_rec_t, deviceid) == 117, "layout");
static_assert(offsetof(_netpass_rec_t, reserved) == 181, "layout");

// Completes `pass` (zeroed by the decision, `info` possibly filled) from the
// finished `rec`, the CP1251 `message` and the settings, and appends it and
// its text line to the two files.
void netpassbase_write(const _parking_rec_t& rec, const char* message, _netpass_rec_t* pass);
