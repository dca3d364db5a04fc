// faultfs: makes one chosen file operation fail, so tests can see what a
// failing storage leaves behind. Linked into a test program, it fails the
// Nth call of one operation on files below chosen folders with one error
// number; every other call goes straight to the C library.
//
// Calls on descriptors and streams count when they were opened below the
// folders. Only lock requests of fcntl count. The counters are plain: the
// code under test is single-threaded.
#pragma once

#define FAULTFS_EXPORT __attribute__((visibility("default")))

// FAULTFS_WRITE counts pwrite too, FAULTFS_FSYNC fdatasync.
enum faultfs_op_t {
    FAULTFS_OPEN,
    FAULTFS_FOPEN,
    FAULTFS_READ,
    FAULTFS_FREAD,
    FAULTFS_WRITE,
    FAULTFS_FWRITE,
    FAULTFS_FFLUSH,
    FAULTFS_FSYNC,
    FAULTFS_RENAME,
    FAULTFS_FTRUNCATE,
    FAULTFS_FSTAT,
    FAULTFS_FCNTL,
    FAULTFS_CLOSE,
    FAULTFS_FCLOSE,
    FAULTFS_OP_COUNT
};

// Arms the `nth` call (from 1) of `op` on files below `paths` (folders or
// files, split by ':') to fail with the error number `error`; with op -1
// nothing fails, the calls are only counted. `partial`: a failing write or
// fwrite first writes half its bytes and reports the short count, as a disk
// that fills up in the middle of a write does. The counters start again
// from zero. False, with nothing armed, when the paths do not fit.
FAULTFS_EXPORT bool faultfs_configure(int op, long nth, int error, const char* paths, bool partial);

// Neither counts nor fails anything until the next faultfs_configure.
FAULTFS_EXPORT void faultfs_off();

// Calls of `op` counted since faultfs_configure, and its name.
FAULTFS_EXPORT long faultfs_count(int op);
FAULTFS_EXPORT const char* faultfs_op_name(int op);

// Whether the armed call has been failed.
FAULTFS_EXPORT bool faultfs_injected();
