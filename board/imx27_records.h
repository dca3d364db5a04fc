// Request codes and records of the i.MX27 camera drivers. The drivers read
// these records by offset, so every layout is fixed; the fake drivers of the
// simulated board check the same codes and sizes.
//
// To confirm on the board: the four request codes against the board
// kernel's driver headers. A driver refuses a code it does not know, as a
// rule with ENOTTY (25), and the failure is logged under the request's name.
#pragma once

#include <cstddef>
#include <cstdint>

// Linux ioctl codes of type 0xAE for transfers in both directions: the
// record size sits in bits 16-29 and the request number in bits 0-7.
constexpr unsigned long IMX27_CSI_CONFIG = 0xC014AE01UL;
constexpr unsigned long IMX27_VIDEO_SET_FRAME_RATE_DIVISOR = 0xC008AE6EUL;
constexpr unsigned long IMX27_MEM_GET_BUFFER = 0xC014AE79UL;
constexpr unsigned long IMX27_VIDEO_GET_STILL_IMAGE = 0xC014AE6DUL;

constexpr const char* IMX27_MEM_MGR_DEVICE = "/dev/imx27_mem_mgr";
constexpr const char* IMX27_CSI_DEVICE = "/dev/imx27_csi";
constexpr const char* IMX27_VIDEO_DEVICE = "/dev/imx27_video";

// Memory-manager buffer numbers of the two buffers the service maps.
//
// To confirm on the board: that buffer 0 is where the driver writes the
// still image and buffer 3 is free for the service, and that the driver
// reports their lengths in bytes. Too short a length is logged once at
// start-up ("memory-manager buffers too short") and every frame refused.
constexpr uint32_t IMX27_CAPTURE_CH2_BUFFER = 0;
constexpr uint32_t IMX27_FRAME_BUFFER = 3;

// To confirm on the board: mode 2 and the two zero words mean a PAL input
// to the driver; only the driver gives them a meaning.
struct _csi_config_t {
    uint32_t mode;         // 2
    uint16_t width;        // 720
    uint16_t height;       // 576
    uint32_t pixel_format; // "UYVY"
    uint32_t reserved1;    // 0
    uint32_t reserved2;    // 0
};

struct _frame_rate_divisor_t {
    uint32_t divisor; // 1: every frame
    uint32_t result;  // 0 on entry; not used afterwards
};

struct _mem_buffer_query_t {
    uint32_t buffer; // in: buffer number
    uint32_t unused; // neither set nor read
    uint32_t offset; // out: offset for mmap
    uint32_t length; // out: length in bytes
    uint32_t flags;  // in: 0
};

// To confirm on the board: that a still image arrives in the capture
// buffer as planar 4:2:0, 720 x 576, V before U (video/capture_repack.h),
// although the sensor interface is set to UYVY. The first preview JPEG
// shows it: red and blue swapped mean U and V are, and stripes or a
// broken-up picture mean the driver left it packed.
struct _video_buffer {
    uint32_t flags;     // 0, set before every request
    uint32_t offset;    // the capture buffer's memory-manager offset
    uint32_t driver[3]; // the driver's own words
};

static_assert(sizeof(_csi_config_t) == 20, "CSI configuration record is 20 bytes");
static_assert(offsetof(_csi_config_t, mode) == 0, "layout");
static_assert(offsetof(_csi_config_t, width) == 4, "layout");
static_assert(offsetof(_csi_config_t, height) == 6, "layout");
static_assert(offsetof(_csi_config_t, pixel_format) == 8, "layout");
static_assert(offsetof(_csi_config_t, reserved1) == 12, "layout");
static_assert(offsetof(_csi_config_t, reserved2) == 16, "layout");
static_assert(sizeof(_frame_rate_divisor_t) == 8, "divisor record is 8 bytes");
static_assert(offsetof(_frame_rate_divisor_t, divisor) == 0, "layout");
static_assert(offsetof(_frame_rate_divisor_t, result) == 4, "layout");
static_assert(sizeof(_mem_buffer_query_t) == 20, "buffer query record is 20 bytes");
static_assert(offsetof(_mem_buffer_query_t, buffer) == 0, "layout");
static_assert(offsetof(_mem_buffer_query_t, unused) == 4, "layout");
static_assert(offsetof(_mem_buffer_query_t, offset) == 8, "layout");
static_assert(offsetof(_mem_buffer_query_t, length) == 12, "layout");
static_assert(offsetof(_mem_buffer_query_t, flags) == 16, "layout");
static_assert(sizeof(_video_buffer) == 20, "_video_buffer is 20 bytes");
static_assert(offsetof(_video_buffer, flags) == 0, "layout");
static_assert(offsetof(_video_buffer, offset) == 4, "layout");
static_assert(offsetof(_video_buffer, driver) == 8, "layout");

// Each request code carries its record's size in bits 16-29.
static_assert(((IMX27_CSI_CONFIG >> 16) & 0x3FFF) == sizeof(_csi_config_t), "code size");
static_assert(((IMX27_VIDEO_SET_FRAME_RATE_DIVISOR >> 16) & 0x3FFF) ==
                  sizeof(_frame_rate_divisor_t),
              "code size");
static_assert(((IMX27_MEM_GET_BUFFER >> 16) & 0x3FFF) == sizeof(_mem_buffer_query_t), "code size");
static_assert(((IMX27_VIDEO_GET_STILL_IMAGE >> 16) & 0x3FFF) == sizeof(_video_buffer), "code size");
