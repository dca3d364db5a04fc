/* Test controls of the fake i.MX27 camera drivers. A program that has the
 * fake loaded (LD_PRELOAD, or linked in) can steer it through these calls;
 * the service itself never uses them. */
#ifndef CAMERA_FAKE_H
#define CAMERA_FAKE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library shows only these calls and the C library functions it
 * replaces; everything else stays inside. */
#define CAMERA_FAKE_API __attribute__((visibility("default")))

enum camera_device { CAMERA_MEM_MGR, CAMERA_CSI, CAMERA_VIDEO, CAMERA_DEVICE_COUNT };

/* Everything the fake answers, for counting and for injected results. */
enum camera_op {
    CAMERA_OP_OPEN_MEM_MGR,
    CAMERA_OP_OPEN_CSI,
    CAMERA_OP_OPEN_VIDEO,
    CAMERA_OP_CSI_CONFIG,
    CAMERA_OP_FRAME_RATE_DIVISOR,
    CAMERA_OP_BUFFER_QUERY,
    CAMERA_OP_MMAP,
    CAMERA_OP_STILL_IMAGE,
    CAMERA_OP_COUNT
};

/* Where the memory manager keeps its two buffers (mmap offsets). */
#define CAMERA_CAPTURE_BUFFER_OFFSET 0x00100000u
#define CAMERA_CAPTURE_BUFFER_LENGTH 622080u
#define CAMERA_FRAME_BUFFER_OFFSET 0x00400000u
#define CAMERA_FRAME_BUFFER_LENGTH 304128u

struct camera_fake_stats {
    unsigned calls[CAMERA_OP_COUNT];      /* attempts, failed ones included */
    unsigned closes[CAMERA_DEVICE_COUNT]; /* closes of fake descriptors */
    unsigned munmaps;                     /* of mappings the fake handed out */
    unsigned frames;                      /* frames written into the capture buffer */
    unsigned mismatches;                  /* requests refused as malformed */
    long long last_frame;                 /* number of the last frame written, -1 before */
};

/* Frame sources, as the environment variables CAMERA_SCENARIO,
 * CAMERA_FRAMES and CAMERA_PATTERN choose them. The scenario is the timeline
 * of scenes and failures; the pictures come from the pattern when it is on,
 * else from the frame files when there are any, else from the scenario's
 * scenes. The loaders return the number of problems they reported on
 * standard error (bad scenario lines, unreadable frame files); while there
 * are any, opening the devices fails with ENODEV. */
CAMERA_FAKE_API int camera_fake_use_scenario(const char* text, size_t length);
CAMERA_FAKE_API int camera_fake_use_scenario_file(const char* path);
/* Whole 720 x 576 4:2:0 frames, played in order and then again; NULL or
 * "" plays none. */
CAMERA_FAKE_API int camera_fake_use_frame_files(const char* colon_separated_paths);
CAMERA_FAKE_API void camera_fake_use_pattern(int on);

/* Appends a line for every frame delivered to the file at `path`, as the
 * environment variable CAMERA_LOG asks: "SECONDS.MICROSECONDS FRAME SCENE",
 * the wall-clock time at which the frame was handed over, its number, and
 * "empty" or "car BODY SUFFIX". NULL or "" stops the log. 0, or the errno of
 * a file that cannot be opened. */
CAMERA_FAKE_API int camera_fake_use_frame_log(const char* path);

/* Scenario seconds per real second; 0 answers every request at once with
 * the next frame, which makes runs deterministic. */
CAMERA_FAKE_API void camera_fake_set_speed(double speed);

/* After `skip` more operations `op` answered as usual, the next `count`
 * return `result` (with errno `error` when `result` is -1; an open or a
 * mapping can only fail). A still image is written into the capture buffer
 * before a result other than -1. */
CAMERA_FAKE_API void camera_fake_inject(enum camera_op op, unsigned skip, unsigned count,
                                        int result, int error);

/* The length that queries of memory-manager buffer `buffer` (0 or 3) report
 * from now on, as a driver short of memory would; 0 restores the real one. */
CAMERA_FAKE_API void camera_fake_set_buffer_length(uint32_t buffer, uint32_t length);

/* Forgets injections, reported lengths, counters and the clock; sources
 * and speed stay. */
CAMERA_FAKE_API void camera_fake_reset(void);
CAMERA_FAKE_API void camera_fake_get_stats(struct camera_fake_stats* stats);

/* Byte `offset` of pattern frame `frame`: a hash of both, so a byte taken
 * from the wrong place or the wrong frame shows. */
CAMERA_FAKE_API unsigned char camera_pattern_byte(unsigned frame, uint32_t offset);

#ifdef __cplusplus
}
#endif

#endif
