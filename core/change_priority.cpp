#include <cerrno>
#include <cstring>
#include <sched.h>

#include "core/startup.h"
#include "support/log.h"

int ChangePriority() {
    struct sched_param param = {};
    param.sched_priority = 10;
    const int result = sched_setscheduler(0, SCHED_FIFO, &param);
    if (result != 0) {
        const int error = errno;
        LOG("sched_setscheduler() failed with %d [%s]\n", error, strerror(error));
    }
    return result;
}
