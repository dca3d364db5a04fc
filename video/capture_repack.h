// The picture layouts on both sides of a capture: the driver fills a whole
// 720 x 576 planar 4:2:0 PAL frame, the service works on a 704 x 288 one.
#pragma once

#include <cstddef>
#include <cstdint>

// Capture buffer: the driver's 720 x 576 frame, Y then V then U.
constexpr size_t capture_width = 720;
constexpr size_t capture_v_offset = 414720;
constexpr size_t capture_u_offset = 518400;
constexpr size_t capture_chroma_width = capture_width / 2;
// The repacking reads up to the end of the last U row it takes.
constexpr size_t capture_bytes_read = 570236;

// Current frame: 704 x 288, the first field without its 8-pixel borders.
constexpr size_t frame_width = 704;
constexpr size_t frame_height = 288;
constexpr size_t frame_chroma_width = frame_width / 2;
constexpr size_t frame_chroma_height = frame_height / 2;
constexpr size_t frame_v_offset = frame_width * frame_height; // 202752
constexpr size_t frame_u_offset = frame_v_offset + frame_chroma_width * frame_chroma_height;
constexpr size_t frame_bytes = frame_u_offset + frame_chroma_width * frame_chroma_height;

static_assert(frame_u_offset == 253440, "frame layout");
static_assert(frame_bytes == 304128, "frame layout");
static_assert(capture_bytes_read ==
                  capture_u_offset + capture_chroma_width * (frame_chroma_height - 1) +
                      (capture_chroma_width - frame_chroma_width) / 2 + frame_chroma_width,
              "capture bytes read");

// Copies the first field of `capture` (rows 0-287 of Y, rows 0-143 of V and
// U), less 8 luma and 4 chroma columns at each side, into `frame`.
void repack_capture_buffer(unsigned char* frame, const unsigned char* capture);
