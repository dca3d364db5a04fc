// Appends to the journals that other programs read by offset or by line, and
// that an entry and an exit service may share over a network file system.
// Every append holds an exclusive fcntl lock on the file from the moment it
// looks at the file's end until its bytes are written, so two services never
// interleave their bytes; a lock that another service keeps too long is
// given up, so no barrier waits on it for good. A record torn at the end by
// a power cut or a full disk is cut off first: no reader can use the
// fragment, and leaving it would shift every record appended after it. A
// last line without its newline is completed instead: it may be whole but
// for the newline (a file saved by an editor), and nothing of a text journal
// is ever cut.
//
// Anyone who can write to the shared folder or a storage can put a link or a
// FIFO in a journal's place. A journal is therefore a plain file of its own or
// nothing: it is never opened through a symbolic link, never waited for as a
// FIFO or device, and a path that holds anything but a plain file is left
// alone, which is said once in the log.
#pragma once

#include <cstddef>
#include <sys/types.h>

enum {
    journal_ok = 0,
    journal_open_failed = -1,  // nothing written; errno tells why
    journal_write_failed = -2, // the bytes did not all reach the file; errno tells why
    journal_refused = -3,      // the path holds no plain file: left alone, and said already
};

// Opens the journal `path` with the open(2) `flags` (with O_CREAT it is
// created with mode 0666 less the umask): a descriptor, or journal_open_failed
// or journal_refused. A refusal is logged under `caller`, once for as long as
// the path holds no plain file.
int journal_open(const char* path, int flags, const char* caller);

// Takes an fcntl lock of `type` (F_RDLCK or F_WRLCK) on the whole journal
// `path` open as `fd`: 0 when held, -1 when the caller goes on unlocked. A
// lock that another process holds is asked for again every few hundredths
// of a second for at most 2 s. Past that the step goes on unlocked, which
// is said once under the name `caller` until the lock of `path` is granted
// again, and that is said too. When the file system refuses locks (some
// network mounts do) that is said once for the life of the process. Closing
// any descriptor of the file releases the lock, so a locked step must do
// all its work on this one descriptor.
int journal_lock(int fd, short type, const char* path, const char* caller);

// `ends`, when set, is asked between the requests of every lock wait; true
// ends the wait at once, unlocked and without a word (the service asks
// whether it is to stop).
void journal_lock_wait_ends(bool (*ends)());

// Writes all `size` bytes of `bytes` in one write: at the file's end when
// `offset` is -1 (a journal open for appending), else at `offset`. A short
// write (a full disk) is cut back to `keep`, the whole-record end the write
// started from, so the file never keeps half of it; with `keep` -1 the part
// stays for the next append to cut. journal_ok or journal_write_failed
// (errno ENOSPC for a short write).
int journal_write_whole(int fd, const void* bytes, size_t size, off_t offset, off_t keep);

// Appends `size` bytes of `record` to `path` (created with mode 0666 less the
// umask when missing) after cutting a torn record at the end back to a whole
// multiple of `size`. One write.
int journal_append_record(const char* path, const void* record, size_t size, const char* caller);

// Appends the text `line`, which ends with a newline, to `path` in one write.
// A last line left without its newline gets one first, in a write of its own.
int journal_append_line(const char* path, const char* line, const char* caller);
