// JPEG encoding of planar YUV 4:2:0 frames: the Y plane, then the plane that
// is encoded as Cr (V), then the one encoded as Cb (U), each chroma plane
// (width/2) x (height/2), rows without gaps. The library reads the planes in
// place through row pointers (raw data, fast integer DCT, quality 50,
// baseline JFIF).
//
// No library error ends the process. Every library message is logged
// through log_message, and then:
// - encodeImage returns -1 for a library error (including a failed write to
//   `stream`, whose contents are then incomplete), for a null frame or
//   stream, and for a width or height below 2 or above the library's limit;
//   0 when the whole JPEG is written.
// - encodeImage_to_memory returns the JPEG's length, or 0 when no JPEG was
//   made. A JPEG must leave the buffer's last byte free (the memory stream
//   puts a null byte there); one that does not fit is made again at quality
//   30, then 15, then 5, and the first that fits is returned. When none does,
//   or on any other error, the result is 0 and the buffer holds no image.
// - encodeImage_to_file returns 0, or -1 when the file cannot be opened
//   (nothing is encoded) or the JPEG cannot be written whole (the file then
//   holds an incomplete image).
//
// Sizes that are not multiples of 16 are padded by repeating the last column
// and row; the frame is never read past its width * height * 3 / 2 bytes.
#pragma once

#include <cstdio>

#include <jpeglib.h>

int encodeImage(unsigned char* frame, FILE* stream, unsigned width, unsigned height);
int encodeImage_to_memory(unsigned char* frame, void* buffer, int size, int width, int height);
int encodeImage_to_file(unsigned char* frame, const char* path, int width, int height);

// The error manager's output_message: logs the library's current message.
void log_message(j_common_ptr cinfo);
