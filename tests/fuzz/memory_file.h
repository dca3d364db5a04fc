// A file in memory for a fuzz target's bytes, so runs leave nothing behind.
#pragma once

#include <string>
#include <sys/mman.h>
#include <unistd.h>

struct MemoryFile {
    int fd = memfd_create("fuzz", 0);
    std::string path = "/proc/self/fd/" + std::to_string(fd);

    // The file holds `size` bytes from `bytes` and nothing else; false when
    // they could not be written.
    bool hold(const void* bytes, size_t size) const {
        return ftruncate(fd, 0) == 0 && pwrite(fd, bytes, size, 0) == static_cast<ssize_t>(size);
    }
};
