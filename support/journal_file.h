// Appends to the journals that other programs read by offset or by line, and
// that an entry and an exit service may share over a network file system.
// Every append holds an exclusive fcntl lock on the file from the moment it
// looks at the file's end until its bytes are written, so two services never
// interleave their bytes. A record or line torn at the end by a power cut or
// a full disk is cut off first: no reader can use the fragment, and leaving
// it would shift every record appended after it.
#pragma once

#include <cstddef>

enum {
    JOURNAL_OK = 0,
    JOURNAL_OPEN_FAILED = -1,  // nothing written; errno tells why
    JOURNAL_WRITE_FAILED = -2, // the bytes did not all reach the file; errno tells why
};

// Takes an fcntl lock of `type` (F_RDLCK or F_WRLCK) on the whole file open
// as `fd`, waiting for it. 0 when held. When the file system refuses locks
// (some network mounts do) the caller goes on unlocked: that is said once in
// the log for the life of the process, under the name `caller`, and -1 is
// returned. Closing any descriptor of the file releases the lock, so a
// locked step must do all its work on this one descriptor.
int journal_lock(int fd, short type, const char* caller);

// Appends `size` bytes of `record` to `path` (created with mode 0666 less the
// umask when missing) after cutting a torn record at the end back to a whole
// multiple of `size`. One write.
int journal_append_record(const char* path, const void* record, size_t size, const char* caller);

// Appends the text `line`, which ends with a newline, to `path` after cutting
// a torn last line (one without its newline) back to the end of the last
// whole line. One write.
int journal_append_line(const char* path, const char* line, const char* caller);
