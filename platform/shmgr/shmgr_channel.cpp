#include "platform/shmgr/shmgr_layout.h"

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

} // namespace

int channel_name(int channel, char* name, size_t size) {
    const char* prefix = getenv("SHMGR_PREFIX");
    if (prefix == nullptr || prefix[0] == '\0') {
        prefix = default_prefix;
    }
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

Channel* map_channel(int channel, bool writable) {
    char name[NAME_MAX + 1];
    if (channel_name(channel, name, sizeof name) != 0) {
        return nullptr;
    }
    bool can_write = true;
    int fd = shm_open(name, O_RDWR | O_CREAT, 0644);
    if (fd < 0 && errno == EACCES && !writable) {
        // Another user's stream: readers only need to see it.
        can_write = false;
        fd = shm_open(name, O_RDONLY, 0);
    }
    if (fd < 0) {
        return nullptr;
    }
    struct stat st;
    int result = fstat(fd, &st);
    if (result == 0 && st.st_size == 0) {
        // New: sizing it is the whole set-up, since zeros are an empty
        // channel. Two openers racing here both set the same size.
        if (can_write) {
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
    int saved = errno;
    close(fd);
    errno = saved;
    return address == MAP_FAILED ? nullptr : static_cast<Channel*>(address);
}

void unmap_channel(Channel* channel) {
    if (channel != nullptr) {
        munmap(channel, sizeof(Channel));
    }
}

} // namespace shmgr
