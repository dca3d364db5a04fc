// What the replaced C library functions ask of faultfs: whether a file is
// watched, and whether a call on it is the one to fail.
#pragma once

#include "tests/faultfs/preload/faultfs.h"

// Whether `path` lies below a watched folder. The service names its files
// by absolute paths; a relative one is never watched.
bool faultfs_watched_path(const char* path);

// Descriptors opened on watched files, until they are closed.
void faultfs_watch_fd(int fd, bool watched);
bool faultfs_watched_fd(int fd);

// Counts a call of `op` on a watched file. The error number the call must
// fail with when it is the armed one, else 0.
int faultfs_strike(faultfs_op_t op);

// Whether a failing write first writes half of its bytes.
bool faultfs_partial();
