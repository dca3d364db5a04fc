#include "platform/shmgr/shmgr_layout.h"
#include "platform/shmgr/shmgr_reader.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shmgr {

namespace {

const char default_prefix[] = "/shmgr";

// A portable shared-memory name is one leading '/' and no other.
bool valid_prefix(const char* prefix) {
    return prefix[0] == '/' && prefix[1] != '\0' && strchr(prefix + 1, '/') == nullptr;
}

const char* current_prefix() {
    const char* prefix = getenv("SHMGR_PREFIX");
    return prefix == nullptr || prefix[0] == '\0' ? default_prefix : prefix;
}

} // namespace

int channel_name(int channel, char* name, size_t size) {
    const char* prefix = current_prefix();
    if (channel < 0 || channel >= SHMGR_MAX_CHANNELS || !valid_prefix(prefix)) {
        errno = EINVAL;
        return -1;
    }
    int length = snprintf(name, size, "%s.%d", prefix, channel);
    if (length < 0 || static_cast<size_t>(length) >= size || length > NAME_MAX) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

int map_channel(int channel, bool writable, Mapping* mapping) {
    char name[NAME_MAX + 1];
    mapping->channel = nullptr;
    mapping->fd = -1;
    if (channel_name(channel, name, sizeof name) != 0) {
        return -1;
    }
    const int fd = writable ? shm_open(name, O_RDWR | O_CREAT, 0644) : shm_open(name, O_RDONLY, 0);
    if (fd < 0) {
        return -1;
    }
    struct stat st;
    int result = fstat(fd, &st);
    if (result == 0 && st.st_size == 0) {
        // New: sizing it is the whole set-up, since zeros are an empty
        // channel. Two writers racing here both set the same size; a reader
        // waits for it.
        if (writable) {
            result = ftruncate(fd, sizeof(Channel));
            st.st_size = sizeof(Channel);
        } else {
            errno = EAGAIN;
            result = -1;
        }
    }
    if (result == 0 && st.st_size != static_cast<off_t>(sizeof(Channel))) {
        // Not a channel of this layout; mapping it would read past its end.
        errno = EPROTO;
        result = -1;
    }
    void* address = MAP_FAILED;
    if (result == 0) {
        address = mmap(nullptr, sizeof(Channel), writable ? PROT_READ | PROT_WRITE : PROT_READ,
                       MAP_SHARED, fd, 0);
    }
    if (address == MAP_FAILED) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    mapping->channel = static_cast<Channel*>(address);
    mapping->fd = fd;
    return 0;
}

void unmap_channel(Mapping* mapping) {
    if (mapping->channel != nullptr) {
        munmap(mapping->channel, sizeof(Channel));
        close(mapping->fd);
    }
    mapping->channel = nullptr;
    mapping->fd = -1;
}

int check_mapping(const Mapping& mapping) {
    struct stat st;
    if (fstat(mapping.fd, &st) != 0) {
        return -1;
    }
    if (st.st_nlink == 0) {
        errno = EIDRM;
        return -1;
    }
    if (st.st_size != static_cast<off_t>(sizeof(Channel))) {
        errno = EPROTO;
        return -1;
    }
    return 0;
}

} // namespace shmgr

void shmgrDescribeChannel(int channel, int error, char* text, size_t size) {
    char name[NAME_MAX + 1];
    if (shmgr::channel_name(channel, name, sizeof name) != 0) {
        snprintf(text, size,
                 "SHMGR_PREFIX \"%.*s\" does not make a shared-memory name for channel %d: it "
                 "must be '/' and a name without '/', of at most %d characters",
                 64, shmgr::current_prefix(), channel, NAME_MAX - 2);
        return;
    }
    struct stat st;
    const int fd = error == EPROTO ? shm_open(name, O_RDONLY, 0) : -1;
    const bool measured = fd >= 0 && fstat(fd, &st) == 0;
    if (fd >= 0) {
        close(fd);
    }
    if (measured && st.st_size != static_cast<off_t>(sizeof(shmgr::Channel))) {
        snprintf(text, size, "%s has %lld bytes, not the %zu of a channel", name,
                 static_cast<long long>(st.st_size), sizeof(shmgr::Channel));
    } else if (error == EIDRM) {
        snprintf(text, size, "%s was removed", name);
    } else if (error == ENOENT) {
        snprintf(text, size, "%s does not exist: no writer has made it yet", name);
    } else {
        snprintf(text, size, "%s: %s", name, strerror(error));
    }
}
