#include "support/journal_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/log.h"
#include "support/msleep_ts.h"
#include "support/support_routines.h"

namespace {

// Said once: a board whose net-base mount refuses locks would otherwise log
// it on every passage.
bool refusal_logged = false;

constexpr int append_flags = O_CREAT | O_APPEND;

// Restores errno across the cleanup calls, so the caller logs the cause.
struct errno_keeper {
    int saved = errno;
    ~errno_keeper() { errno = saved; }
};

// A few paths, as hashes (0 marks a free slot), each said once in the log
// until it leaves the set. Sixteen hold every journal of the net-base and of
// three storages; beyond that the oldest is forgotten and may be said once
// more. Two paths of one hash would share their one line: at 64 bits, never
// in practice.
struct said_paths {
    uint64_t keys[16];
    size_t next;
};

// FNV-1a, never 0.
uint64_t path_key(const char* path) {
    uint64_t key = 14695981039346656037ULL;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(path); *c != 0; ++c)
        key = (key ^ *c) * 1099511628211ULL;
    return key | 1;
}

// Adds `path` to `paths`; true when it was not there, and its line is to be
// said now.
bool first_time(said_paths& paths, const char* path) {
    const uint64_t key = path_key(path);
    for (uint64_t said : paths.keys) {
        if (said == key)
            return false;
    }
    paths.keys[paths.next] = key;
    paths.next = (paths.next + 1) % (sizeof paths.keys / sizeof paths.keys[0]);
    return true;
}

// Takes `path` out of `paths`; true when it was there.
bool forget(said_paths& paths, const char* path) {
    const uint64_t key = path_key(path);
    bool found = false;
    for (uint64_t& said : paths.keys) {
        if (said == key) {
            said = 0;
            found = true;
        }
    }
    return found;
}

// The paths whose refusal was said. A path leaves them when it opens as a
// plain file again, so a journal mended and spoiled once more is said again.
said_paths refused_paths;

// The journals whose lock another process has held past the bound: one
// episode each, said when it begins and when the lock is taken again.
said_paths locks_given_up;

// How long a step waits for a lock that another process holds, and how
// often it asks meanwhile. The bound keeps a hung board, or a lock manager
// that went away, from holding up the barrier for good; each request over a
// network mount costs a round trip, so they are not made more often.
constexpr int lock_wait_ms = 2000;
constexpr int lock_poll_ms = 25;

// Asked between the requests of a lock wait; none: the wait runs to its bound.
bool (*lock_wait_ends)() = nullptr;

// Another process holds a lock in the way (F_SETLK may say either of the
// first two), or a signal cut the request short: asked again. Anything else
// is a refusal.
bool worth_waiting(int error) {
    return error == EAGAIN || error == EACCES || error == EINTR;
}

int refuse(const char* path, const char* caller) {
    if (first_time(refused_paths, path))
        log_line(caller, "%s is not a plain file, left alone\n", path);
    return journal_refused;
}

// Cuts the file back to `size`. Should that fail, the next append cuts the
// torn tail off instead.
void cut_to(int fd, off_t size) {
    TEMP_FAILURE_RETRY(ftruncate(fd, size));
}

} // namespace

int journal_write_whole(int fd, const void* bytes, size_t size, off_t offset, off_t keep) {
    const ssize_t written = offset < 0 ? TEMP_FAILURE_RETRY(write(fd, bytes, size))
                                       : TEMP_FAILURE_RETRY(pwrite(fd, bytes, size, offset));
    if (written == static_cast<ssize_t>(size))
        return journal_ok;
    if (written >= 0)
        errno = ENOSPC;
    if (written > 0 && keep >= 0) {
        errno_keeper keep_errno;
        cut_to(fd, keep);
    }
    return journal_write_failed;
}

namespace {

int close_journal(int fd, int result) {
    // A network file system may report a failed write only at the close.
    if (close(fd) != 0 && result == journal_ok)
        return journal_write_failed;
    return result;
}

// The size of the journal open as `fd`, -1 when it cannot be learned. The
// 64-bit call: on a 32-bit board the plain one refuses the large file
// numbers of some network mounts.
off_t journal_size(int fd) {
    struct stat64 status;
    if (fstat64(fd, &status) != 0)
        return -1;
    return static_cast<off_t>(status.st_size);
}

// False only when the file's last byte was read and is not a newline; a file
// that cannot be read is taken as it is.
bool ends_in_newline(int fd, off_t size) {
    char last = '\n';
    return size <= 0 || pread(fd, &last, 1, size - 1) != 1 || last == '\n';
}

} // namespace

int journal_open(const char* path, int flags, const char* caller) {
    // No link is followed, no FIFO or device waited for, and no terminal
    // becomes the service's own.
    const int fd = TEMP_FAILURE_RETRY(
        open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    // A status that cannot be learned leaves the file as it was taken before:
    // a plain one.
    struct stat64 status;
    if (fd < 0) {
        errno_keeper keep_errno;
        // A link (ELOOP), a FIFO without reader (ENXIO), a folder (EISDIR):
        // whatever stands there and is no plain file.
        if (lstat64(path, &status) == 0 && !S_ISREG(status.st_mode))
            return refuse(path, caller);
        return journal_open_failed;
    }
    if (fstat64(fd, &status) == 0 && !S_ISREG(status.st_mode)) {
        close(fd);
        return refuse(path, caller);
    }
    // O_NONBLOCK stays: it changes nothing for a plain file.
    forget(refused_paths, path);
    return fd;
}

void journal_lock_wait_ends(bool (*ends)()) {
    lock_wait_ends = ends;
}

int journal_lock(int fd, short type, const char* path, const char* caller) {
    struct flock whole_file;
    memset(&whole_file, 0, sizeof whole_file);
    whole_file.l_type = type;
    whole_file.l_whence = SEEK_SET;
    // Set when the lock is first found held: a free lock costs no clock.
    int64_t deadline = -1;
    for (;;) {
        if (fcntl(fd, F_SETLK, &whole_file) == 0) {
            if (forget(locks_given_up, path))
                log_line(caller, "file lock of %s granted again\n", path);
            return 0;
        }
        if (!worth_waiting(errno))
            break;
        // A service asked to stop finishes its step at once, unlocked.
        if (lock_wait_ends != nullptr && lock_wait_ends())
            return -1;
        const int64_t now = monotonic_ms();
        if (deadline < 0)
            deadline = now + lock_wait_ms;
        const int64_t left = deadline - now;
        if (left <= 0) {
            if (first_time(locks_given_up, path))
                log_line(caller, "file lock of %s not granted within %d s, written without it\n",
                         path, lock_wait_ms / 1000);
            return -1;
        }
        // A signal ends the sleep early, and a stop is seen at once.
        msleep_ts(static_cast<int>(left < lock_poll_ms ? left : lock_poll_ms));
    }
    if (!refusal_logged) {
        refusal_logged = true;
        const int error = errno;
        log_line(caller, "file lock refused: %d [%s], journals are written without locks\n", error,
                 strerror(error));
    }
    return -1;
}

int journal_append_record(const char* path, const void* record, size_t size, const char* caller) {
    const int fd = journal_open(path, append_flags | O_WRONLY, caller);
    if (fd < 0)
        return fd;
    journal_lock(fd, F_WRLCK, path, caller);
    // An unknown end is never cut to: what the journal holds stays.
    const off_t found = journal_size(fd);
    off_t end = found;
    if (found >= 0) {
        end = found - found % static_cast<off_t>(size);
        if (end != found && ftruncate(fd, end) != 0) {
            // Appended after the fragment all the same: losing the passage
            // would be worse than a misaligned tail.
            end = found;
        }
    }
    return close_journal(fd, journal_write_whole(fd, record, size, -1, end));
}

int journal_append_line(const char* path, const char* line, const char* caller) {
    int fd = journal_open(path, append_flags | O_RDWR, caller);
    // A file we may append to but not read still gets its line; only its
    // last byte cannot be looked at then.
    const bool readable = fd >= 0;
    if (fd == journal_open_failed)
        fd = journal_open(path, append_flags | O_WRONLY, caller);
    if (fd < 0)
        return fd;
    journal_lock(fd, F_WRLCK, path, caller);
    off_t end = journal_size(fd);
    if (readable && !ends_in_newline(fd, end)) {
        const int completed = journal_write_whole(fd, "\n", 1, -1, end);
        if (completed != journal_ok)
            return close_journal(fd, completed);
        ++end;
    }
    return close_journal(fd, journal_write_whole(fd, line, strlen(line), -1, end));
}
