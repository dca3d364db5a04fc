#include "support/journal_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/log.h"

namespace {

// Said once: a board whose net-base mount refuses locks would otherwise log
// it on every passage.
bool refusal_logged = false;

// Restores errno across the cleanup calls, so the caller logs the cause.
struct errno_keeper {
    int saved = errno;
    ~errno_keeper() { errno = saved; }
};

int open_journal(const char* path, int flags) {
    int fd;
    do {
        fd = open(path, flags | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Cuts the file back to `size`. Should that fail, the next append cuts the
// torn tail off instead.
void cut_to(int fd, off_t size) {
    while (ftruncate(fd, size) != 0 && errno == EINTR) {
    }
}

// Writes all of `size` bytes in one write. A short write (a full disk) is cut
// back to `keep`, the whole-record end the append started from, so the file
// never keeps half of this append; with `keep` unknown (-1) the part stays
// for the next append to cut.
int write_whole(int fd, const void* bytes, size_t size, off_t keep) {
    ssize_t written;
    do {
        written = write(fd, bytes, size);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(size))
        return JOURNAL_OK;
    if (written >= 0)
        errno = ENOSPC;
    if (written > 0 && keep >= 0) {
        errno_keeper keep_errno;
        cut_to(fd, keep);
    }
    return JOURNAL_WRITE_FAILED;
}

int close_journal(int fd, int result) {
    // A network file system may report a failed write only at the close.
    if (close(fd) != 0 && result == JOURNAL_OK)
        return JOURNAL_WRITE_FAILED;
    return result;
}

// The size of the journal open as `fd`, -1 when it cannot be learned or the
// file is no plain file. The 64-bit call: on a 32-bit board the plain one
// refuses the large file numbers of some network mounts.
off_t journal_size(int fd) {
    struct stat64 status;
    if (fstat64(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return static_cast<off_t>(status.st_size);
}

// The offset just after the last newline of the file's first `size` bytes, or
// 0 when there is none; -1 when the file cannot be read.
off_t end_of_last_line(int fd, off_t size) {
    char chunk[512];
    off_t end = size;
    while (end > 0) {
        const off_t start = end > static_cast<off_t>(sizeof chunk) ? end - sizeof chunk : 0;
        const ssize_t got = pread(fd, chunk, static_cast<size_t>(end - start), start);
        if (got != end - start)
            return -1;
        for (ssize_t i = got; i > 0; --i) {
            if (chunk[i - 1] == '\n')
                return start + i;
        }
        end = start;
    }
    return 0;
}

} // namespace

int journal_lock(int fd, short type, const char* caller) {
    struct flock whole_file;
    memset(&whole_file, 0, sizeof whole_file);
    whole_file.l_type = type;
    whole_file.l_whence = SEEK_SET;
    int result;
    do {
        result = fcntl(fd, F_SETLKW, &whole_file);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return 0;
    if (!refusal_logged) {
        refusal_logged = true;
        const int error = errno;
        log_line(caller, "file lock refused: %d [%s], journals are written without locks\n", error,
                 strerror(error));
    }
    return -1;
}

int journal_append_record(const char* path, const void* record, size_t size, const char* caller) {
    const int fd = open_journal(path, O_WRONLY);
    if (fd < 0)
        return JOURNAL_OPEN_FAILED;
    journal_lock(fd, F_WRLCK, caller);
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
    return close_journal(fd, write_whole(fd, record, size, end));
}

int journal_append_line(const char* path, const char* line, const char* caller) {
    int fd = open_journal(path, O_RDWR);
    // A file we may append to but not read still gets its line; only the torn
    // tail cannot be looked for then.
    const bool readable = fd >= 0;
    if (!readable)
        fd = open_journal(path, O_WRONLY);
    if (fd < 0)
        return JOURNAL_OPEN_FAILED;
    journal_lock(fd, F_WRLCK, caller);
    off_t end = journal_size(fd);
    if (end >= 0) {
        const off_t whole = readable ? end_of_last_line(fd, end) : end;
        if (whole >= 0 && whole != end && ftruncate(fd, whole) == 0)
            end = whole;
    }
    return close_journal(fd, write_whole(fd, line, strlen(line), end));
}
