// The C library entry points that the fake replaces. Only the three device
// paths and the descriptors handed out for them are the fake's business;
// every other call goes straight to the C library.
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "board/imx27_records.h"
#include "platform/camera/fake_state.h"

namespace {

template <typename F> void find(F* function, const char* name) {
    *function = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int device_of_path(const char* path) {
    if (!path)
        return -1;
    const char* paths[CAMERA_DEVICE_COUNT] = {IMX27_MEM_MGR_DEVICE, IMX27_CSI_DEVICE,
                                              IMX27_VIDEO_DEVICE};
    for (int d = 0; d < CAMERA_DEVICE_COUNT; ++d)
        if (strcmp(path, paths[d]) == 0)
            return d;
    return -1;
}

int open_device(int device, int flags) {
    fake_state_t& state = fake();
    std::lock_guard<std::mutex> hold(state.lock);
    return device_open(state, static_cast<camera_device>(device), flags);
}

// The mode argument exists only when the flags create a file.
mode_t mode_argument(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
}

// Runs `answer(state, device)` under the lock when `fd` is one of the
// fake's descriptors; false when it is not.
template <typename Answer> bool answered(int fd, Answer answer) {
    fake_state_t& state = fake();
    std::lock_guard<std::mutex> hold(state.lock);
    const int device = device_of_handle(state, fd);
    if (device < 0)
        return false;
    answer(state, static_cast<camera_device>(device));
    return true;
}

// The fake chooses where its buffers go, so the address hint is not used.
bool mapped_by_fake(size_t length, int prot, int flags, int fd, long long offset, void** mapped) {
    return answered(fd, [&](fake_state_t& state, camera_device device) {
        *mapped = device_map(state, device, length, prot, flags, offset);
    });
}

} // namespace

const real_libc& real() {
    static const real_libc functions = [] {
        real_libc f;
        find(&f.open, "open");
        find(&f.open64, "open64");
        find(&f.openat, "openat");
        find(&f.ioctl, "ioctl");
        find(&f.mmap, "mmap");
        find(&f.mmap64, "mmap64");
        find(&f.munmap, "munmap");
        find(&f.close, "close");
        return f;
    }();
    return functions;
}

extern "C" CAMERA_FAKE_API int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    const int device = device_of_path(path);
    return device < 0 ? real().open(path, flags, mode) : open_device(device, flags);
}

extern "C" CAMERA_FAKE_API int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    const int device = device_of_path(path);
    return device < 0 ? real().open64(path, flags, mode) : open_device(device, flags);
}

// The device paths are absolute, so the directory does not matter.
extern "C" CAMERA_FAKE_API int openat(int directory, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    const int device = device_of_path(path);
    return device < 0 ? real().openat(directory, path, flags, mode) : open_device(device, flags);
}

extern "C" CAMERA_FAKE_API int ioctl(int fd, unsigned long request, ...) __THROW {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    int result = 0;
    const bool fake_device = answered(fd, [&](fake_state_t& state, camera_device device) {
        result = device_request(state, device, request, arg);
    });
    return fake_device ? result : real().ioctl(fd, request, arg);
}

extern "C" CAMERA_FAKE_API void* mmap(void* address, size_t length, int prot, int flags, int fd,
                                      off_t offset) __THROW {
    void* mapped = nullptr;
    if (mapped_by_fake(length, prot, flags, fd, offset, &mapped))
        return mapped;
    return real().mmap(address, length, prot, flags, fd, offset);
}

extern "C" CAMERA_FAKE_API void* mmap64(void* address, size_t length, int prot, int flags, int fd,
                                        off64_t offset) __THROW {
    void* mapped = nullptr;
    if (mapped_by_fake(length, prot, flags, fd, offset, &mapped))
        return mapped;
    return real().mmap64(address, length, prot, flags, fd, offset);
}

extern "C" CAMERA_FAKE_API int munmap(void* address, size_t length) __THROW {
    {
        fake_state_t& state = fake();
        std::lock_guard<std::mutex> hold(state.lock);
        for (auto it = state.mappings.begin(); it != state.mappings.end(); ++it)
            if (*it == address) {
                state.mappings.erase(it);
                ++state.stats.munmaps;
                break;
            }
    }
    return real().munmap(address, length);
}

extern "C" CAMERA_FAKE_API int close(int fd) {
    {
        fake_state_t& state = fake();
        std::lock_guard<std::mutex> hold(state.lock);
        forget_handle(state, fd);
    }
    return real().close(fd);
}
