// A file in memory for a fuzz target's bytes: a plain file of its own name on
// the memory file system, since the journals refuse to open a link such as
// /proc/self/fd/N. It goes when the run ends, so runs leave nothing behind.
#pragma once

#include <fcntl.h>
#include <string>
#include <unistd.h>

struct MemoryFile {
    std::string path = "/dev/shm/fuzz-" + std::to_string(getpid());
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

    ~MemoryFile() {
        close(fd);
        unlink(path.c_str());
    }

    // The file holds `size` bytes from `bytes` and nothing else; false when
    // they could not be written.
    bool hold(const void* bytes, size_t size) const {
        return ftruncate(fd, 0) == 0 && pwrite(fd, bytes, size, 0) == static_cast<ssize_t>(size);
    }
};
