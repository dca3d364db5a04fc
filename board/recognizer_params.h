// The parameter block handed to the recognition engine. The engine keeps the
// pointer it is given and reads the block by byte offset, so the layout is
// fixed and the block lives in gv for the life of the process.
//
// To confirm on the board: that the engine reads its doubles as the service
// writes them, little-endian IEEE words in EABI order. An engine built for
// the old ARM ABI with FPA floating point keeps the two words of a double
// swapped and would read 17.0 as a number near zero; `readelf -h` of the
// engine shows "Version5 EABI" when it is not.
#pragma once

#include <cstddef>

struct RecognizerParams {
    double average_plate_width; // "recognizer"/"average_plate_width", default 17.0
    // To confirm on the board: what the engine makes of it; the service
    // has only ever given 0.0.
    double reserved;
    double extra_sensitivity; // "recognizer"/"extra_sensitivity", default 0.0
    bool eliminate_geometry;  // "recognizer"/"eliminate_geometry" != 0
    unsigned char padding[7];
};

static_assert(sizeof(double) == 8, "the engine reads 64-bit IEEE doubles");
static_assert(sizeof(bool) == 1, "eliminate_geometry is one byte");
static_assert(sizeof(RecognizerParams) == 32, "RecognizerParams is 32 bytes");
static_assert(offsetof(RecognizerParams, average_plate_width) == 0, "layout");
static_assert(offsetof(RecognizerParams, reserved) == 8, "layout");
static_assert(offsetof(RecognizerParams, extra_sensitivity) == 16, "layout");
static_assert(offsetof(RecognizerParams, eliminate_geometry) == 24, "layout");
static_assert(offsetof(RecognizerParams, padding) == 25, "layout");
