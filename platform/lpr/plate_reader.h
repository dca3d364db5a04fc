// Reads a drawn licence plate (plate_layout.h) back from the luma of a field.
#pragma once

#include <string>

struct plate_reading_t {
    std::string body;   // '*' where a character cannot be read
    std::string suffix; // likewise
    int kind = 0;       // 0..15
};

// Looks for a plate in `luma` (width x height bytes, rows without gaps) and
// fills `reading`; false when the picture shows none. Any size is accepted and
// nothing outside the plane is read.
bool read_plate(const unsigned char* luma, int width, int height, plate_reading_t& reading);
