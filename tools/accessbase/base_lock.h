// Editors of one base take turns: each holds an exclusive lock from reading
// the base to renaming the new one into place, or two edits made at the same
// time would each write the base without the other's entry. The lock is on a
// side file "<base>.lock", which stays: the base itself is replaced by every
// edit, and a lock on it would go with the old file.
#pragma once

#include <string>
#include <vector>

// Holds the lock of one base while it lives.
struct BaseLock {
    int fd = -1;
    BaseLock() = default;
    BaseLock(const BaseLock&) = delete;
    BaseLock& operator=(const BaseLock&) = delete;
    ~BaseLock();
};

// Takes the lock of the base at `target` (links already followed), waiting
// up to `wait_seconds` for another editor to finish. 0, or -1 with `error`
// set.
int lock_base(const std::string& target, int wait_seconds, BaseLock* lock, std::string* error);

// Removes the temporary files that an editor killed while writing `target`
// left beside it, and names them in `removed`. Only under the lock: then no
// other editor is writing one.
void remove_left_temporaries(const std::string& target, std::vector<std::string>* removed);
