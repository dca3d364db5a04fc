// The C library functions that faultfs stands in front of. A call on a file
// that is not watched, or that is not the armed one, goes to the C library
// unchanged; the armed call fails the way the kernel or the C library would
// report it, leaving the file as such a failure leaves it.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "tests/faultfs/preload/faultfs_state.h"

#define FAULTFS_API extern "C" __attribute__((visibility("default")))

namespace {

// The next definition of `name` after this library: the C library's, or a
// sanitizer's that passes on to it.
#define REAL(name)                                                                                 \
    ([] {                                                                                          \
        static const auto next = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name));     \
        return next;                                                                               \
    }())

// Fails the call with `error` after marking the stream as failed, as the C
// library does when the kernel refuses its read or write.
void stream_failed(FILE* stream, int error) {
    stream->_flags |= _IO_ERR_SEEN;
    errno = error;
}

int descriptor(int fd) {
    return fd;
}

int descriptor(FILE* stream) {
    return stream != nullptr ? fileno(stream) : -1;
}

// Opens `path` through `open_real` unless this is the armed call of `op`,
// which gives `failed`; what it opens is watched when the path is.
template <typename Handle, typename Open>
Handle opened(faultfs_op_t op, const char* path, Handle failed, Open open_real) {
    const bool watched = faultfs_watched_path(path);
    if (const int error = watched ? faultfs_strike(op) : 0) {
        errno = error;
        return failed;
    }
    const Handle handle = open_real();
    faultfs_watch_fd(descriptor(handle), watched);
    return handle;
}

// The error number for a call of `op` on `fd`, 0 to let it through.
int strike_fd(faultfs_op_t op, int fd) {
    return faultfs_watched_fd(fd) ? faultfs_strike(op) : 0;
}

int strike_stream(faultfs_op_t op, FILE* stream) {
    return stream != nullptr ? strike_fd(op, fileno(stream)) : 0;
}

// Runs `call` unless the call of `op` on `fd` is the armed one, which
// fails with -1 and the error.
template <typename Call>
auto unless_struck(faultfs_op_t op, int fd, Call call) -> decltype(call()) {
    if (const int error = strike_fd(op, fd)) {
        errno = error;
        return -1;
    }
    return call();
}

// A write of `size` bytes through `write_real(bytes to write)`; the armed
// one is refused, or first writes half of its bytes.
template <typename Write> ssize_t write_call(int fd, size_t size, Write write_real) {
    if (const int error = strike_fd(FAULTFS_WRITE, fd)) {
        if (faultfs_partial() && size > 1)
            return write_real(size / 2);
        errno = error;
        return -1;
    }
    return write_real(size);
}

bool lock_request(int command) {
    return command == F_SETLK || command == F_SETLKW || command == F_OFD_SETLK ||
           command == F_OFD_SETLKW;
}

} // namespace

// The opening functions with the mode argument, which exists only when the
// flags create a file.
#define OPEN_CALL(name, ...)                                                                       \
    va_list ap;                                                                                    \
    va_start(ap, flags);                                                                           \
    const mode_t mode =                                                                            \
        (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;            \
    va_end(ap);                                                                                    \
    return opened(FAULTFS_OPEN, path, -1, [&] { return REAL(name)(__VA_ARGS__, flags, mode); })

FAULTFS_API int open(const char* path, int flags, ...) {
    OPEN_CALL(open, path);
}
FAULTFS_API int open64(const char* path, int flags, ...) {
    OPEN_CALL(open64, path);
}
FAULTFS_API int openat(int dir, const char* path, int flags, ...) {
    OPEN_CALL(openat, dir, path);
}
FAULTFS_API int openat64(int dir, const char* path, int flags, ...) {
    OPEN_CALL(openat64, dir, path);
}

#define FOPEN_CALL(name)                                                                           \
    FAULTFS_API FILE* name(const char* path, const char* mode) {                                   \
        return opened(FAULTFS_FOPEN, path, static_cast<FILE*>(nullptr),                            \
                      [&] { return REAL(name)(path, mode); });                                     \
    }
FOPEN_CALL(fopen)
FOPEN_CALL(fopen64)

FAULTFS_API ssize_t read(int fd, void* buffer, size_t size) {
    return unless_struck(FAULTFS_READ, fd, [&] { return REAL(read)(fd, buffer, size); });
}

FAULTFS_API size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
    if (const int error = strike_stream(FAULTFS_FREAD, stream)) {
        stream_failed(stream, error);
        return 0;
    }
    return REAL(fread)(buffer, size, count, stream);
}

FAULTFS_API ssize_t write(int fd, const void* bytes, size_t size) {
    return write_call(fd, size, [&](size_t n) { return REAL(write)(fd, bytes, n); });
}

// Writes at an offset count as writes.
FAULTFS_API ssize_t pwrite(int fd, const void* bytes, size_t size, off_t offset) {
    return write_call(fd, size, [&](size_t n) { return REAL(pwrite)(fd, bytes, n, offset); });
}

FAULTFS_API ssize_t pwrite64(int fd, const void* bytes, size_t size, off64_t offset) {
    return write_call(fd, size, [&](size_t n) { return REAL(pwrite64)(fd, bytes, n, offset); });
}

FAULTFS_API size_t fwrite(const void* bytes, size_t size, size_t count, FILE* stream) {
    if (const int error = strike_stream(FAULTFS_FWRITE, stream)) {
        // Half of the bytes, then the failure; the count says how many whole
        // items made it.
        const size_t half = faultfs_partial() ? size * count / 2 : 0;
        const size_t written = half > 0 ? REAL(fwrite)(bytes, 1, half, stream) : 0;
        stream_failed(stream, error);
        return size > 0 ? written / size : 0;
    }
    return REAL(fwrite)(bytes, size, count, stream);
}

// The buffered bytes are dropped, as when the kernel refuses them.
FAULTFS_API int fflush(FILE* stream) {
    if (const int error = strike_stream(FAULTFS_FFLUSH, stream)) {
        __fpurge(stream);
        stream_failed(stream, error);
        return EOF;
    }
    return REAL(fflush)(stream);
}

FAULTFS_API int fsync(int fd) {
    return unless_struck(FAULTFS_FSYNC, fd, [&] { return REAL(fsync)(fd); });
}

FAULTFS_API int fdatasync(int fd) {
    return unless_struck(FAULTFS_FSYNC, fd, [&] { return REAL(fdatasync)(fd); });
}

FAULTFS_API int rename(const char* from, const char* to) {
    if (faultfs_watched_path(from) || faultfs_watched_path(to)) {
        if (const int error = faultfs_strike(FAULTFS_RENAME)) {
            errno = error;
            return -1;
        }
    }
    return REAL(rename)(from, to);
}

FAULTFS_API int ftruncate(int fd, off_t size) {
    return unless_struck(FAULTFS_FTRUNCATE, fd, [&] { return REAL(ftruncate)(fd, size); });
}

FAULTFS_API int ftruncate64(int fd, off64_t size) {
    return unless_struck(FAULTFS_FTRUNCATE, fd, [&] { return REAL(ftruncate64)(fd, size); });
}

FAULTFS_API int fstat(int fd, struct stat* status) __THROW {
    return unless_struck(FAULTFS_FSTAT, fd, [&] { return REAL(fstat)(fd, status); });
}

FAULTFS_API int fstat64(int fd, struct stat64* status) __THROW {
    return unless_struck(FAULTFS_FSTAT, fd, [&] { return REAL(fstat64)(fd, status); });
}

// fcntl64 is what programs built for 64-bit offsets call, where the C
// library has it.
#define FCNTL_CALL(name)                                                                           \
    FAULTFS_API int name(int fd, int command, ...) {                                               \
        va_list ap;                                                                                \
        va_start(ap, command);                                                                     \
        void* argument = va_arg(ap, void*);                                                        \
        va_end(ap);                                                                                \
        const auto call = [&] { return REAL(name)(fd, command, argument); };                       \
        return lock_request(command) ? unless_struck(FAULTFS_FCNTL, fd, call) : call();            \
    }
FCNTL_CALL(fcntl)
FCNTL_CALL(fcntl64)

// The descriptor is closed all the same; the error is what a network file
// system reports for a write it could not deliver.
FAULTFS_API int close(int fd) {
    const int error = strike_fd(FAULTFS_CLOSE, fd);
    faultfs_watch_fd(fd, false);
    const int result = REAL(close)(fd);
    if (error == 0)
        return result;
    errno = error;
    return -1;
}

// The stream is closed and freed all the same, its unwritten bytes lost.
FAULTFS_API int fclose(FILE* stream) {
    const int error = strike_stream(FAULTFS_FCLOSE, stream);
    if (error != 0)
        __fpurge(stream);
    faultfs_watch_fd(fileno(stream), false);
    const int result = REAL(fclose)(stream);
    if (error == 0)
        return result;
    errno = error;
    return EOF;
}
