// The picture layouts on both sides of a capture: the driver fills a whole
// 720 x 576 planar 4:2:0 PAL frame, the service works on a 704 x 288 one.
#pragma once

#include <cstddef>
#include <cstdint>

// Capture buffer: the driver's 720 x 576 frame, Y then V then U.
constexpr size_t CAPTURE_WIDTH = 720;
constexpr size_t CAPTURE_V_OFFSET = 414720;
constexpr size_t CAPTURE_U_OFFSET = 518400;
constexpr size_t CAPTURE_CHROMA_WIDTH = CAPTURE_WIDTH / 2;
// The repacking reads up to the end of the last U row it takes.
constexpr size_t CAPTURE_BYTES_READ = 570236;

// Current frame: 704 x 288, the first field without its 8-pixel borders.
constexpr size_t FRAME_WIDTH = 704;
constexpr size_t FRAME_HEIGHT = 288;
constexpr size_t FRAME_CHROMA_WIDTH = FRAME_WIDTH / 2;
constexpr size_t FRAME_CHROMA_HEIGHT = FRAME_HEIGHT / 2;
constexpr size_t FRAME_V_OFFSET = FRAME_WIDTH * FRAME_HEIGHT; // 202752
constexpr size_t FRAME_U_OFFSET = FRAME_V_OFFSET + FRAME_CHROMA_WIDTH * FRAME_CHROMA_HEIGHT;
constexpr size_t FRAME_BYTES = FRAME_U_OFFSET + FRAME_CHROMA_WIDTH * FRAME_CHROMA_HEIGHT;

static_assert(FRAME_U_OFFSET == 253440, "frame layout");
static_assert(FRAME_BYTES == 304128, "frame layout");
static_assert(CAPTURE_BYTES_READ ==
                  CAPTURE_U_OFFSET + CAPTURE_CHROMA_WIDTH * (FRAME_CHROMA_HEIGHT - 1) +
                      (CAPTURE_CHROMA_WIDTH - FRAME_CHROMA_WIDTH) / 2 + FRAME_CHROMA_WIDTH,
              "capture bytes read");

// Copies the first field of `capture` (rows 0-287 of Y, rows 0-143 of V and
// U), less 8 luma and 4 chroma columns at each side, into `frame`.
void repack_capture_buffer(unsigned char* frame, const unsigned char* capture);
