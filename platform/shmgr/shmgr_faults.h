// Failures on demand, for testing how a client of the stream manager copes
// with the ones it cannot provoke by ordinary use. Process-local; the board's
// library has no such calls and the service never makes them.
#pragma once

extern "C" {

enum shmgr_fault_call {
    SHMGR_FAULT_REQUEST,  // shmgrRequestMemory fails
    SHMGR_FAULT_GET_DATA, // shmgrGetData returns null
    SHMGR_FAULT_RETURN,   // shmgrReturnMemory fails, dropping the block unpublished
};

// The next call of that kind fails with errno `error`.
void shmgrFailNext(shmgr_fault_call call, int error);
}
