#include "video/capture.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include "support/gv.h"
#include "support/log.h"
#include "video/capture_device.h"
#include "video/capture_repack.h"

namespace {

constexpr uint32_t csi_mode = 2;
constexpr uint16_t csi_width = 720;
constexpr uint16_t csi_height = 576;
constexpr uint32_t csi_pixel_format_uyvy = 0x59565955; // "UYVY" read as a little-endian word
constexpr int restart_errno_erestart = 85;
constexpr int restart_errno_etime = 62;

// Set when a restart could not open the device again; the next capture then
// restarts it once more. Only the capture reads it, across its calls.
bool capture_restart_pending = false;

// Passes a set-up step's result on. The step's failure (-1) is logged with
// errno under the name of video_init_input, which owns the message; any other
// value goes on unreported.
int log_failure(int result, const char* step) {
    if (result == -1)
        log_errno("video_init_input", "%s failed: ", step);
    return result;
}

// The same for the sensor interface, whose failures go to the console that
// started the service, not to the system log; flushed so that they are
// there even when the process ends right after.
int print_failure(int result, const char* step) {
    if (result == -1) {
        const int error = errno;
        printf("%s failed: %d [%s]\n", step, error, strerror(error));
        fflush(stdout);
    }
    return result;
}

void unmap(_mapped_buffer_t* buffer) {
    if (buffer->address)
        munmap(buffer->address, buffer->length);
    memset(buffer, 0, sizeof *buffer);
}

bool buffers_long_enough() {
    return gv.capture_buffer.length >= capture_bytes_read && gv.frame_buffer.length >= frame_bytes;
}

// A failed (re)initialisation can leave the video device open while a
// buffer is unmapped, and a driver may report a buffer too short for the
// layouts the repacking walks. Writing or reading there would corrupt
// memory, so such a capture fails like a request on a closed handle.
bool buffers_hold_a_frame() {
    return gv.capture_buffer.address && gv.frame_buffer.address && buffers_long_enough();
}

// Short buffers refuse every frame without asking the driver, so nothing
// else would ever say why no frame comes. Said once per start: with no
// request, no driver error can restart the device and open it again.
void report_short_buffers() {
    if (buffers_long_enough())
        return;
    log_line("video_init_input",
             "memory-manager buffers too short, every frame refused: capture buffer %u bytes "
             "(needs %u), frame buffer %u bytes (needs %u)\n",
             static_cast<unsigned>(gv.capture_buffer.length),
             static_cast<unsigned>(capture_bytes_read),
             static_cast<unsigned>(gv.frame_buffer.length), static_cast<unsigned>(frame_bytes));
}

} // namespace

int video_init_input() {
    gv.request = static_cast<_video_buffer*>(calloc(1, sizeof(_video_buffer)));
    if (!gv.request) {
        LOG("Video init input: no memory for the request record\n");
        return -1;
    }

    gv.mem_handle = memOpen();
    if (gv.mem_handle == -1)
        return log_failure(-1, "Video init input: memOpen()");

    gv.csi_handle = csiOpen();
    if (gv.csi_handle == -1)
        return print_failure(-1, "open /dev/imx27_csi");

    gv.csi_config = {csi_mode, csi_width, csi_height, csi_pixel_format_uyvy, 0, 0};
    int result = print_failure(csiConfigure(gv.csi_handle, &gv.csi_config), "csiConfigure()");
    if (result != 0)
        return result;

    gv.video_handle = videoOpen();
    if (gv.video_handle == -1)
        return log_failure(-1, "Video init input: videoOpen()");
    LOG("videoOpen() -> ok\n");

    result =
        log_failure(videoSetFrameRateDivisor(gv.video_handle, 1), "videoSetFrameRateDivisor()");
    if (result != 0)
        return result;
    result = log_failure(memGetVideoCaptureCh2(gv.mem_handle, &gv.capture_buffer),
                         "memGetVideoCaptureCh2()");
    if (result != 0)
        return result;
    result = log_failure(memGetBuffer(gv.mem_handle, IMX27_FRAME_BUFFER, &gv.frame_buffer),
                         "memGetBuffer()");
    if (result == 0)
        report_short_buffers();
    return result;
}

int video_Capture_frame(_video_buffer* request) {
    int result = -1;
    if (request && buffers_hold_a_frame()) {
        request->flags = 0;
        request->offset = gv.capture_buffer.offset;
        result = videoGetStillImage(gv.video_handle, request);
    } else {
        errno = capture_closed_handle_error;
    }
    if (result == 0) {
        repack_capture_buffer(gv.frame_buffer.address, gv.capture_buffer.address);
        return 0;
    }
    if (result != -1)
        return result;

    const int error = errno;
    LOG_ERRNO("videoGetStillImage() failed: ");
    // A restart that could not open the device again leaves it half open,
    // and no capture would ever ask the driver again: every car after that
    // would be lost until someone restarts the service. So the next capture
    // restarts it once more; the loop's pause after a failed capture spaces
    // the attempts.
    if (error == restart_errno_erestart || error == restart_errno_etime ||
        capture_restart_pending) {
        LOG("restart video input");
        video_close_input();
        // Reports its own failures.
        capture_restart_pending = video_init_input() != 0;
    }
    return -1;
}

void video_close_input() {
    int* handles[] = {&gv.video_handle, &gv.csi_handle, &gv.mem_handle};
    for (int* handle : handles) {
        if (*handle != -1)
            close(*handle);
        *handle = -1;
    }
    // Unmapping keeps each restart from leaving two mappings behind; the
    // next initialisation maps both buffers again and nothing reads them
    // in between.
    unmap(&gv.capture_buffer);
    unmap(&gv.frame_buffer);
    free(gv.request);
    gv.request = nullptr;
    // A device closed on purpose stays closed.
    capture_restart_pending = false;
}
