#include "platform/statemgr/statemgrd.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/statemgr/stm_protocol.h"

namespace {

// True when a daemon answers at the address.
bool daemon_alive(const sockaddr_un& sa) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool alive = connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    close(fd);
    return alive;
}

// Removes a socket file that no daemon serves any more, so that a daemon
// killed without clean-up does not keep its successor from starting.
bool clear_stale_socket(const char* address, const sockaddr_un& sa) {
    struct stat st;
    if (lstat(address, &st) != 0)
        return errno == ENOENT;
    if (!S_ISSOCK(st.st_mode)) {
        statemgrd_log("%s exists and is not a socket\n", address);
        return false;
    }
    if (daemon_alive(sa)) {
        statemgrd_log("another state manager serves %s\n", address);
        return false;
    }
    return unlink(address) == 0 || errno == ENOENT;
}

} // namespace

int statemgrd_listen(const char* address) {
    sockaddr_un sa;
    if (!stm_socket_address(address, &sa)) {
        statemgrd_log("address '%s' is empty or longer than %d characters\n", address,
                      static_cast<int>(sizeof sa.sun_path) - 1);
        return -1;
    }
    if (!clear_stale_socket(address, sa))
        return -1;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        statemgrd_log("cannot listen at %s: socket() failed: %d [%s]\n", address, errno,
                      strerror(errno));
        return -1;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 16) != 0) {
        statemgrd_log("cannot listen at %s: %d [%s]\n", address, errno, strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}
