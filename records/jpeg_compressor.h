// JPEG encoding of planar YUV 4:2:0 frames (Y, then V as Cr, then U as Cb).
#pragma once

#include <cstdio>

#include <jpeglib.h>

int encodeImage(unsigned char* frame, FILE* stream, unsigned width, unsigned height);
int encodeImage_to_memory(unsigned char* frame, void* buffer, int size, int width, int height);
int encodeImage_to_file(unsigned char* frame, const char* path, int width, int height);
void log_message(j_common_ptr cinfo);
