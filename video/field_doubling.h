// Line doubling of a captured half-height field: every row of a planar 4:2:0
// frame (Y, then V, then U) is repeated once, so 704 x 288 becomes 704 x 576
// with the same plane order. The result comes from malloc and belongs to the
// caller, who releases it with free.
#pragma once

#include <vector>

// Doubles the frame at `frame` (width * height luma bytes followed by two
// (width/2) x (height/2) chroma planes); the result holds 3 * width * height
// bytes. Returns null, writing nothing, for a null frame, a size that is not
// positive, or a failed allocation.
unsigned char* yuv_height_x_2(unsigned char* frame, int width, int height);

// The same doubling of a frame held in a vector; the result holds twice as
// many bytes as the vector, of which the first 3 * width * height are written.
// A vector shorter than one whole frame (width * height * 3 / 2 bytes) is
// refused with null and logged, as are the failures above.
unsigned char* yuv_height_x_2_vect(std::vector<unsigned char> frame, int width, int height);
