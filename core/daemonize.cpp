#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "core/startup.h"
#include "support/log.h"

namespace {

int log_failure(const char* what) {
    const int error = errno;
    log_line("DAEMONIZE", "%s [%d] %s", what, error, strerror(error));
    return -1;
}

} // namespace

int DAEMONIZE() {
    const pid_t child = fork();
    if (child == -1)
        return log_failure("Demonization failed");
    if (child > 0)
        _exit(child);
    if (setsid() == -1)
        return log_failure("setsid() failed");
    const int null = open("/dev/null", O_RDWR);
    if (null == -1)
        return log_failure("open (/dev/null) failed");
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (null > 2)
        close(null);
    return 0;
}
