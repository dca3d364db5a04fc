#include "video/capture_device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

namespace {

// Clears errno and refuses a closed handle; true when the request may go out.
bool handle_usable(int handle) {
    errno = 0;
    if (handle == -1) {
        errno = capture_closed_handle_error;
        return false;
    }
    return true;
}

} // namespace

// O_CLOEXEC: the external program, started while the devices are open, must
// not hold the camera.
int memOpen() {
    return open(IMX27_MEM_MGR_DEVICE, O_RDWR | O_CLOEXEC);
}

int csiOpen() {
    return open(IMX27_CSI_DEVICE, O_RDWR | O_CLOEXEC);
}

int csiConfigure(int handle, _csi_config_t* config) {
    errno = 0;
    return ioctl(handle, IMX27_CSI_CONFIG, config);
}

int videoOpen() {
    return open(IMX27_VIDEO_DEVICE, O_RDWR | O_CLOEXEC);
}

int videoSetFrameRateDivisor(int handle, uint32_t divisor) {
    if (!handle_usable(handle))
        return -1;
    _frame_rate_divisor_t record = {divisor, 0};
    return ioctl(handle, IMX27_VIDEO_SET_FRAME_RATE_DIVISOR, &record);
}

int memGetBuffer(int handle, uint32_t number, _mapped_buffer_t* buffer) {
    if (!handle_usable(handle))
        return -1;
    memset(buffer, 0, sizeof *buffer);
    _mem_buffer_query_t query;
    memset(&query, 0, sizeof query);
    query.buffer = number;
    query.flags = 0;
    const int result = ioctl(handle, IMX27_MEM_GET_BUFFER, &query);
    if (result != 0)
        return result;
    buffer->length = query.length;
    buffer->offset = query.offset;
    void* address = mmap(nullptr, query.length, PROT_READ | PROT_WRITE, MAP_SHARED, handle,
                         static_cast<off_t>(query.offset));
    if (address == MAP_FAILED) {
        const int error = errno;
        memset(buffer, 0, sizeof *buffer);
        errno = error;
        return -1;
    }
    buffer->address = static_cast<unsigned char*>(address);
    return 0;
}

int memGetVideoCaptureCh2(int handle, _mapped_buffer_t* buffer) {
    return memGetBuffer(handle, IMX27_CAPTURE_CH2_BUFFER, buffer);
}

int videoGetStillImage(int handle, _video_buffer* request) {
    if (!handle_usable(handle))
        return -1;
    return ioctl(handle, IMX27_VIDEO_GET_STILL_IMAGE, request);
}
