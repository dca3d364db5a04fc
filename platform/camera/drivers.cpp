// What the three fake drivers answer. Every request is checked against the
// codes and records the service must send; a wrong one is reported and
// refused with EINVAL, as a real driver would refuse it.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "board/imx27_records.h"
#include "platform/camera/fake_state.h"

namespace {

const char* const DEVICE_NAMES[CAMERA_DEVICE_COUNT] = {IMX27_MEM_MGR_DEVICE, IMX27_CSI_DEVICE,
                                                       IMX27_VIDEO_DEVICE};
constexpr uint32_t UYVY = 0x59565955;
constexpr size_t MEMORY_BYTES = CAMERA_FRAME_BUFFER_OFFSET + CAMERA_FRAME_BUFFER_LENGTH;
// What the driver leaves in word 0 of a still-image record it answered; word
// 1 then holds the number of the frame taken.
constexpr uint32_t STILL_IMAGE_ANSWERED = 1;

int mismatch(fake_state_t& state, camera_device device, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
int mismatch(fake_state_t& state, camera_device device, const char* fmt, ...) {
    char detail[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(detail, sizeof detail, fmt, ap);
    va_end(ap);
    report("%s: %s", DEVICE_NAMES[device], detail);
    ++state.stats.mismatches;
    errno = EINVAL;
    return -1;
}

// An injected result for `op`, when one is pending.
bool injected(fake_state_t& state, camera_op op, injection_t* taken) {
    injection_t& pending = state.injections[op];
    if (pending.count == 0)
        return false;
    if (pending.skip > 0) {
        --pending.skip;
        return false;
    }
    --pending.count;
    *taken = pending;
    return true;
}

double seconds_since(const timespec& epoch) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - epoch.tv_sec) +
           static_cast<double>(now.tv_nsec - epoch.tv_nsec) / 1e9;
}

// The frame whose time has come: the next one when there is no clock.
unsigned current_frame(const fake_state_t& state) {
    if (state.speed <= 0 || !state.clock_started)
        return static_cast<unsigned>(state.last_frame + 1);
    return static_cast<unsigned>(seconds_since(state.epoch) * state.speed *
                                 SCENARIO_FRAMES_PER_SECOND);
}

// While a hold of the scenario stands at or before `frame`, or the frame
// whose time has come (the clock may have passed the hold while the service
// was busy), the clock is set back to the hold's frame after one frame's
// time, so that the picture stays and every later time moves on by as long
// as the hold lasted. Returns whether the frame is held.
bool held(fake_state_t& state, long long frame) {
    const std::vector<scenario_hold>& holds = state.scenario.holds;
    if (state.holds_passed == holds.size())
        return false;
    frame = std::max(frame, static_cast<long long>(current_frame(state)));
    while (state.holds_passed < holds.size() && holds[state.holds_passed].frame <= frame) {
        const scenario_hold& hold = holds[state.holds_passed];
        if (access(hold.file.c_str(), F_OK) == 0) {
            ++state.holds_passed;
            continue;
        }
        const double rate = (state.speed > 0 ? state.speed : 1.0) * SCENARIO_FRAMES_PER_SECOND;
        const timespec period = {0, static_cast<long>(1e9 / rate)};
        while (nanosleep(&period, nullptr) != 0 && errno == EINTR) {
        }
        clock_gettime(CLOCK_MONOTONIC, &state.epoch);
        const double back = hold.frame / rate;
        state.epoch.tv_sec -= static_cast<time_t>(back);
        state.epoch.tv_nsec -= static_cast<long>((back - std::floor(back)) * 1e9);
        if (state.epoch.tv_nsec < 0) {
            state.epoch.tv_nsec += 1000000000L;
            --state.epoch.tv_sec;
        }
        state.last_frame = hold.frame;
        return true;
    }
    return false;
}

// Waits for the next frame of the PAL clock, as a driver waits for the
// sensor, and returns its number. Frames that passed meanwhile are lost,
// as they are on a live camera.
unsigned wait_for_frame(fake_state_t& state) {
    long long frame = state.last_frame + 1;
    if (held(state, frame))
        return static_cast<unsigned>(state.last_frame);
    if (state.speed > 0) {
        const double rate = state.speed * SCENARIO_FRAMES_PER_SECOND;
        const double due_now = std::ceil(seconds_since(state.epoch) * rate - 1e-6);
        if (due_now > static_cast<double>(frame))
            frame = static_cast<long long>(due_now);
        const double wake = static_cast<double>(frame) / rate;
        timespec until = state.epoch;
        until.tv_sec += static_cast<time_t>(wake);
        until.tv_nsec += static_cast<long>((wake - std::floor(wake)) * 1e9);
        if (until.tv_nsec >= 1000000000L) {
            until.tv_nsec -= 1000000000L;
            ++until.tv_sec;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
    state.last_frame = frame;
    return static_cast<unsigned>(frame);
}

// The memory behind both buffers, made at the first query.
bool make_memory(fake_state_t& state) {
    if (state.memory >= 0)
        return true;
    const int memory = memfd_create("imx27_mem_mgr", MFD_CLOEXEC);
    if (memory < 0 || ftruncate(memory, MEMORY_BYTES) != 0) {
        report("cannot make the memory manager's memory: %s\n", strerror(errno));
        if (memory >= 0)
            real().close(memory);
        return false;
    }
    void* view = real().mmap(nullptr, CAMERA_CAPTURE_BUFFER_LENGTH, PROT_READ | PROT_WRITE,
                             MAP_SHARED, memory, CAMERA_CAPTURE_BUFFER_OFFSET);
    if (view == MAP_FAILED) {
        report("cannot map the capture buffer: %s\n", strerror(errno));
        real().close(memory);
        return false;
    }
    state.memory = memory;
    state.capture_view = static_cast<unsigned char*>(view);
    return true;
}

// A well-formed configuration request succeeds unless a test injected
// another result or the scenario fails it at this moment.
int configuration_result(fake_state_t& state, camera_op op, camera_device device) {
    injection_t taken;
    if (injected(state, op, &taken)) {
        errno = taken.error;
        return taken.result;
    }
    if (const int error = scenario_config_error(state.scenario, current_frame(state), device)) {
        errno = error;
        return -1;
    }
    return 0;
}

int csi_configure(fake_state_t& state, const _csi_config_t* config) {
    ++state.stats.calls[CAMERA_OP_CSI_CONFIG];
    if (config->mode != 2 || config->width != 720 || config->height != 576 ||
        config->pixel_format != UYVY || config->reserved1 != 0 || config->reserved2 != 0)
        return mismatch(state, CAMERA_CSI,
                        "configuration %" PRIu32 "/%u/%u/0x%08" PRIx32 "/%" PRIu32 "/%" PRIu32
                        ", expected 2/720/576/0x%08" PRIx32 " (UYVY)/0/0\n",
                        config->mode, config->width, config->height, config->pixel_format,
                        config->reserved1, config->reserved2, UYVY);
    return configuration_result(state, CAMERA_OP_CSI_CONFIG, CAMERA_CSI);
}

int set_divisor(fake_state_t& state, const _frame_rate_divisor_t* record) {
    ++state.stats.calls[CAMERA_OP_FRAME_RATE_DIVISOR];
    if (record->divisor != 1 || record->result != 0)
        return mismatch(state, CAMERA_VIDEO,
                        "frame-rate divisor %" PRIu32 "/%" PRIu32 ", expected 1/0\n",
                        record->divisor, record->result);
    return configuration_result(state, CAMERA_OP_FRAME_RATE_DIVISOR, CAMERA_VIDEO);
}

int query_buffer(fake_state_t& state, _mem_buffer_query_t* query) {
    ++state.stats.calls[CAMERA_OP_BUFFER_QUERY];
    if ((query->buffer != IMX27_CAPTURE_CH2_BUFFER && query->buffer != IMX27_FRAME_BUFFER) ||
        query->flags != 0)
        return mismatch(state, CAMERA_MEM_MGR,
                        "buffer query for buffer %" PRIu32 " with word 16 = %" PRIu32
                        ", expected buffer 0 or 3 and 0\n",
                        query->buffer, query->flags);
    injection_t taken;
    if (injected(state, CAMERA_OP_BUFFER_QUERY, &taken)) {
        errno = taken.error;
        return taken.result;
    }
    if (!make_memory(state)) {
        errno = ENOMEM;
        return -1;
    }
    const bool capture = query->buffer == IMX27_CAPTURE_CH2_BUFFER;
    const uint32_t reported = state.reported_length[capture ? 0 : 1];
    query->offset = capture ? CAMERA_CAPTURE_BUFFER_OFFSET : CAMERA_FRAME_BUFFER_OFFSET;
    query->length =
        reported ? reported : (capture ? CAMERA_CAPTURE_BUFFER_LENGTH : CAMERA_FRAME_BUFFER_LENGTH);
    return 0;
}

// Takes the next frame into the capture buffer: its result.
int take_still_image(fake_state_t& state) {
    injection_t taken = {0, 0, 0, 0};
    const bool forced = injected(state, CAMERA_OP_STILL_IMAGE, &taken);
    const unsigned frame = wait_for_frame(state);
    scene_t scene;
    int error = scenario_frame(state.scenario, frame, &scene);
    if (forced && taken.result == -1)
        error = taken.error;
    if (!error)
        error = write_picture(state, state.capture_view, frame, scene);
    if (error) {
        errno = error;
        return -1;
    }
    ++state.stats.frames;
    state.stats.last_frame = frame;
    log_frame(state, frame, scene);
    return taken.result;
}

int still_image(fake_state_t& state, _video_buffer* request) {
    ++state.stats.calls[CAMERA_OP_STILL_IMAGE];
    if (request->flags != 0 || request->offset != CAMERA_CAPTURE_BUFFER_OFFSET)
        return mismatch(state, CAMERA_VIDEO,
                        "still image with words %" PRIu32 "/0x%08" PRIx32
                        ", expected 0 and the capture buffer's offset 0x%08x\n",
                        request->flags, request->offset, CAMERA_CAPTURE_BUFFER_OFFSET);
    if (!state.capture_view)
        return mismatch(state, CAMERA_VIDEO, "still image before any buffer was queried\n");
    const int result = take_still_image(state);
    // The driver answers in the record, over the words it was sent, so only
    // a service that sets them before every request passes the next check.
    request->flags = STILL_IMAGE_ANSWERED;
    request->offset = static_cast<uint32_t>(state.last_frame);
    return result;
}

} // namespace

int device_of_handle(const fake_state_t& state, int fd) {
    for (int i = 0; i < state.handle_count; ++i)
        if (state.handles[i] == fd)
            return state.handle_devices[i];
    return -1;
}

void forget_handle(fake_state_t& state, int fd) {
    for (int i = 0; i < state.handle_count; ++i)
        if (state.handles[i] == fd) {
            ++state.stats.closes[state.handle_devices[i]];
            --state.handle_count;
            state.handles[i] = state.handles[state.handle_count];
            state.handle_devices[i] = state.handle_devices[state.handle_count];
            return;
        }
}

int device_open(fake_state_t& state, camera_device device, int flags) {
    load_environment(state);
    if (!state.clock_started) {
        clock_gettime(CLOCK_MONOTONIC, &state.epoch);
        if (state.env_epoch >= 0) {
            state.epoch.tv_sec = static_cast<time_t>(state.env_epoch);
            state.epoch.tv_nsec =
                static_cast<long>((state.env_epoch - std::floor(state.env_epoch)) * 1e9);
        }
        state.clock_started = true;
    }
    const camera_op op = static_cast<camera_op>(CAMERA_OP_OPEN_MEM_MGR + device);
    ++state.stats.calls[op];
    if (state.scenario_problems || state.frame_problems) {
        errno = ENODEV;
        return -1;
    }
    if ((flags & O_ACCMODE) != O_RDWR)
        return mismatch(state, device, "opened without O_RDWR (flags 0x%x)\n", flags);
    injection_t taken;
    if (injected(state, op, &taken)) {
        errno = taken.error;
        return -1;
    }
    if (const int error = scenario_open_error(state.scenario, current_frame(state), device)) {
        errno = error;
        return -1;
    }
    if (state.handle_count == MAX_FAKE_HANDLES) {
        errno = EMFILE;
        return -1;
    }
    const int fd = real().open("/dev/null", O_RDWR | (flags & O_CLOEXEC));
    if (fd >= 0) {
        state.handles[state.handle_count] = fd;
        state.handle_devices[state.handle_count] = device;
        ++state.handle_count;
    }
    return fd;
}

int device_request(fake_state_t& state, camera_device device, unsigned long request, void* arg) {
    if (!arg)
        return mismatch(state, device, "request 0x%08lx without a record\n", request);
    if (device == CAMERA_CSI && request == IMX27_CSI_CONFIG)
        return csi_configure(state, static_cast<_csi_config_t*>(arg));
    if (device == CAMERA_VIDEO && request == IMX27_VIDEO_SET_FRAME_RATE_DIVISOR)
        return set_divisor(state, static_cast<_frame_rate_divisor_t*>(arg));
    if (device == CAMERA_VIDEO && request == IMX27_VIDEO_GET_STILL_IMAGE)
        return still_image(state, static_cast<_video_buffer*>(arg));
    if (device == CAMERA_MEM_MGR && request == IMX27_MEM_GET_BUFFER)
        return query_buffer(state, static_cast<_mem_buffer_query_t*>(arg));
    return mismatch(state, device, "unexpected request 0x%08lx\n", request);
}

void* device_map(fake_state_t& state, camera_device device, size_t length, int prot, int flags,
                 long long offset) {
    ++state.stats.calls[CAMERA_OP_MMAP];
    const bool capture = offset == CAMERA_CAPTURE_BUFFER_OFFSET;
    const size_t available = capture ? CAMERA_CAPTURE_BUFFER_LENGTH : CAMERA_FRAME_BUFFER_LENGTH;
    // A service that maps less than the length it was told would take
    // memory past its mapping for the buffer's.
    const uint32_t told = state.reported_length[capture ? 0 : 1];
    const size_t reported = told ? told : available;
    if (device != CAMERA_MEM_MGR || state.memory < 0 ||
        (!capture && offset != CAMERA_FRAME_BUFFER_OFFSET) || length < reported ||
        length > available || prot != (PROT_READ | PROT_WRITE) || (flags & MAP_SHARED) == 0) {
        mismatch(state, device,
                 "mapping of %zu bytes at offset 0x%llx (prot %d, flags 0x%x), expected a "
                 "whole queried buffer, read-write and shared\n",
                 length, offset, prot, flags);
        return MAP_FAILED;
    }
    injection_t taken;
    if (injected(state, CAMERA_OP_MMAP, &taken)) {
        errno = taken.error;
        return MAP_FAILED;
    }
    void* mapped =
        real().mmap(nullptr, length, prot, flags, state.memory, static_cast<off_t>(offset));
    if (mapped != MAP_FAILED)
        state.mappings.push_back(mapped);
    return mapped;
}
