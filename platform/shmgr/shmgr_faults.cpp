#include "platform/shmgr/shmgr_connection.h"

#include <cerrno>

namespace {

int pending_error[SHMGR_FAULT_RETURN + 1];

bool known(shmgr_fault_call call) {
    return call >= SHMGR_FAULT_REQUEST && call <= SHMGR_FAULT_RETURN;
}

} // namespace

void shmgrFailNext(shmgr_fault_call call, int error) {
    if (known(call)) {
        pending_error[call] = error;
    }
}

namespace shmgr {

bool injected_failure(shmgr_fault_call call) {
    if (!known(call) || pending_error[call] == 0) {
        return false;
    }
    errno = pending_error[call];
    pending_error[call] = 0;
    return true;
}

} // namespace shmgr
