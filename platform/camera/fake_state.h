// The inner state of the fake camera drivers, shared by the libc overrides,
// the drivers' answers and the test controls.
#pragma once

#include <ctime>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/camera/camera_fake.h"
#include "platform/camera/scenario.h"

// The C library's own functions behind the ones this library replaces.
struct real_libc {
    int (*open)(const char*, int, ...);
    int (*open64)(const char*, int, ...);
    int (*openat)(int, const char*, int, ...);
    int (*ioctl)(int, unsigned long, ...);
    void* (*mmap)(void*, size_t, int, int, int, off_t);
    void* (*mmap64)(void*, size_t, int, int, int, off64_t);
    int (*munmap)(void*, size_t);
    int (*close)(int);
};
const real_libc& real();

struct injection_t {
    unsigned skip;
    unsigned count;
    int result;
    int error;
};

struct frame_file_t {
    std::string path;
    unsigned frames;
};

constexpr int MAX_FAKE_HANDLES = 16;

struct fake_state_t {
    std::mutex lock;

    // Read by the constructor, loaded at the first open of a device so that
    // programs that never touch the camera (shells the service starts) pay
    // nothing and report nothing.
    std::string env_scenario, env_frames, env_log;
    bool env_pattern = false;
    bool loaded = false;

    scenario_t scenario;
    int scenario_problems = 0;
    std::vector<frame_file_t> frame_files;
    unsigned file_frames = 0;
    int frame_problems = 0;
    bool pattern = false;
    double speed = 1.0;
    // CAMERA_EPOCH: the CLOCK_MONOTONIC second that is scenario time 0, so
    // that a restarted service sees the scenario go on; < 0: the first open.
    double env_epoch = -1;

    // Time 0 of the scenario is the first open of a device.
    bool clock_started = false;
    timespec epoch = {0, 0};
    long long last_frame = -1;
    size_t holds_passed = 0; // scenario.holds before this one have ended

    // Fake descriptors are real ones of /dev/null, so no other file of the
    // process can get their numbers while they are open.
    int handles[MAX_FAKE_HANDLES];
    camera_device handle_devices[MAX_FAKE_HANDLES];
    int handle_count = 0;

    // The memory manager's memory: one shared-memory file with both buffers
    // at their offsets, and the fake's own view of the capture buffer.
    int memory = -1;
    unsigned char* capture_view = nullptr;
    uint32_t reported_length[2] = {0, 0}; // buffers 0 and 3; 0: the real length
    std::vector<void*> mappings;

    // CAMERA_LOG: one line per frame delivered, for timing what follows it.
    int frame_log = -1;

    injection_t injections[CAMERA_OP_COUNT] = {};
    camera_fake_stats stats = {{}, {}, 0, 0, 0, -1};
};

// The one state, never destroyed: libc calls made during exit still find it.
fake_state_t& fake();

// "camera-fake: ..." on standard error.
void report(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Loaders behind the controls; the caller holds the lock.
int load_scenario_text(fake_state_t& state, const char* text, size_t length);
int load_scenario_file(fake_state_t& state, const char* path);
int load_frame_files(fake_state_t& state, const char* paths);
int open_frame_log(fake_state_t& state, const char* path);
void load_environment(fake_state_t& state);
// Appends the line of a delivered frame to the frame log, when there is one.
void log_frame(const fake_state_t& state, unsigned frame, const scene_t& scene);
// Writes frame `frame` of the pattern or the frame files into `pal_frame`,
// or draws `scene`; 0, or the errno of a frame file that cannot be read.
int write_picture(fake_state_t& state, unsigned char* pal_frame, unsigned frame,
                  const scene_t& scene);

// The drivers' answers; the caller holds the lock.
int device_open(fake_state_t& state, camera_device device, int flags);
int device_request(fake_state_t& state, camera_device device, unsigned long request, void* arg);
void* device_map(fake_state_t& state, camera_device device, size_t length, int prot, int flags,
                 long long offset);
int device_of_handle(const fake_state_t& state, int fd);
void forget_handle(fake_state_t& state, int fd);
