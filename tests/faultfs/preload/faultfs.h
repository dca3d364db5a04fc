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

#ifdef __cplusplus
extern "C" {
#endif

// `op`: open fopen read fread write (pwrite too) fwrite fflush fsync rename
// ftruncate fstat fcntl close fclose, or null to only count; `nth`: which
// call of it fails, from 1; `error`: EIO, ENOSPC, EACCES or a number;
// `paths`: folders (or files) whose calls count, split by ':'; `partial`
// "1": a failing write or fwrite first writes half its bytes and reports the
// short count, as a disk that fills up in the middle of a write does.
// Counters start again from zero. 0, or -1 when a text is not understood
// (nothing is armed then).
FAULTFS_EXPORT int faultfs_configure(const char* op, const char* nth, const char* error,
                                     const char* paths, const char* partial);

// Neither counts nor fails anything until the next faultfs_configure.
FAULTFS_EXPORT void faultfs_off(void);

// Calls of `op` counted since faultfs_configure; -1 for an unknown name.
FAULTFS_EXPORT long faultfs_count(const char* op);

// 1 once the armed call has been failed.
FAULTFS_EXPORT int faultfs_injected(void);

#ifdef __cplusplus
}
#endif
