// Keeps one storage's snapshot archive within its limits: the oldest
// snapshots go first until the storage has the free space wanted and none
// is older than the age allowed. The journals "passbase.tpp" and
// "passbase.csv", the snapshot of the last passage, a snapshot still being
// written and every file that is no snapshot stay.
#pragma once

#include <cstdint>
#include <cstdio>

struct KeeperLimits {
    int64_t keep_free_mb = 0;  // free space wanted, in MiB
    int keep_free_percent = 0; // and as a share of the storage's size
    int max_age_days = 0;      // snapshots older go; 0: no age limit
};

// Bytes of a file system.
struct StorageSpace {
    uint64_t total = 0;
    uint64_t free = 0; // what an unprivileged writer such as the service may still use
};

// Where the keeper learns the free space of a folder's file system (0, or
// -1 with errno) and the time now. The board's own are the defaults; the
// tests put a small storage of their own and a fixed time in their place.
struct KeeperWorld {
    int (*measure)(const char* folder, StorageSpace* space);
    int64_t (*now)();
};
extern KeeperWorld keeper_world;

enum KeepResult {
    LIMITS_MET = 0,
    LIMITS_NOT_MET = 1,  // too little is left to remove, or a file could not be removed
    STORAGE_SKIPPED = 2, // missing, not writable or not readable
};

// Prunes the archive of the storage mounted at `mountpoint` (for the
// device id in gv_deviceid) and tells the outcome in one line on `out` and
// in the system log. With `dry_run` nothing is removed: each file that
// would go is named on `out`, and the line tells what would be.
KeepResult keep_storage(const char* mountpoint, const KeeperLimits& limits, bool dry_run,
                        FILE* out);
