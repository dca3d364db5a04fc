#include "access/netnum_journal.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "access/netbase_path.h"
#include "access/netnum_scan.h"
#include "support/journal_file.h"
#include "support/log.h"

namespace {

// The update is a step of the decision and logs under its name.
const char DECISION[] = "test_recognized_number";

constexpr long RECORD_SIZE = sizeof(_netnum_rec_t);

enum { NOT_FOUND = -1, UNREADABLE = -2 };

// The offset of the car's record, NOT_FOUND when the journal has none and
// UNREADABLE when it could not be read to its end. A torn record at the end
// is no car's record; the whole ones before it are all searched.
long find_record(FILE* journal, const char* path, const char* number, _netnum_rec_t* rec) {
    rewind(journal);
    _netnum_rec_t block[NETNUM_BLOCK_RECORDS];
    long offset = 0;
    for (size_t count; (count = netnum_read_block(journal, block)) > 0;) {
        for (size_t i = 0; i < count; ++i, offset += RECORD_SIZE) {
            if (same_text(block[i].number, number, sizeof rec->number)) {
                *rec = block[i];
                return offset;
            }
        }
    }
    if (ferror(journal)) {
        log_line(DECISION, "Can't read from file %s\n", path);
        return UNREADABLE;
    }
    return NOT_FOUND;
}

// A new record starts where the last whole record ends: a torn fragment
// there is overwritten, so every record keeps its place on a 56-byte
// boundary for the readers that come after. -1 when the end is unknown.
long append_offset(FILE* journal) {
    if (fseek(journal, 0, SEEK_END) != 0)
        return -1;
    const long size = ftell(journal);
    return size < 0 ? -1 : size - size % RECORD_SIZE;
}

// One write of the whole record at `offset`, past the stream's buffer. An
// appended record that did not go whole (a full disk) is cut off again, so
// the journal does not keep half a record; should the cut fail, the next
// append writes over the fragment.
bool write_record(FILE* journal, long offset, bool appended, const _netnum_rec_t& rec) {
    if (offset < 0)
        return false;
    const int fd = fileno(journal);
    ssize_t written;
    do {
        written = pwrite(fd, &rec, sizeof rec, offset);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(sizeof rec))
        return true;
    if (appended && written > 0) {
        while (ftruncate(fd, offset) != 0 && errno == EINTR) {
        }
    }
    return false;
}

void new_record(_netnum_rec_t* rec, const char* number, const char* owner) {
    memset(rec, 0, sizeof *rec);
    memcpy(rec->number, number, strnlen(number, sizeof rec->number - 1));
    memcpy(rec->owner, owner, strnlen(owner, sizeof rec->owner - 1));
}

// Marks the car inside unless the owner's places are all held. False when the
// entry is refused, or the journal unreadable, and the record must stay as
// it was.
bool enter(FILE* journal, const char* path, const char* number, long time,
           const _access_entry_t& entry, _netnum_rec_t* rec, _netnum_outcome_t* outcome) {
    const int counted = netnum_scan_owner_in(journal, path, outcome->used, entry.owner, number);
    if (counted == 1 && entry.places != 0 && outcome->used >= entry.places) {
        outcome->places_full = 1;
        return false;
    }
    // An owner's places that could not be counted mean a journal that could
    // not be read through: it is left as it is, as when it cannot be opened.
    if (counted == 0 && entry.owner[0] != '\0')
        return false;
    // An entry without owner has no places to count, yet the car is inside
    // all the same: left unmarked, its exit would be refused as an overstay.
    rec->places = 1;
    rec->in_time = static_cast<int32_t>(time);
    return true;
}

// Marks the car gone unless it stayed too long. False when the exit is
// refused and the car stays recorded as inside; a car that the operator lets
// out is gone all the same, or its owner's place stayed taken for ever.
bool leave(FILE* journal, const char* path, const char* number, long time, bool known,
           bool by_operator, const _access_entry_t& entry, _netnum_rec_t* rec,
           _netnum_outcome_t* outcome) {
    if (known) {
        // Only for the owner summary of the decision.
        netnum_scan_owner_in(journal, path, outcome->used, entry.owner, number);
        // In 64 bits: long is 32 bits on the board, and a damaged in_time
        // must not wrap a long stay into a short one.
        const int64_t stay = static_cast<int64_t>(time) - rec->in_time;
        if (entry.max_park_time != 0 && stay > entry.max_park_time) {
            outcome->over_time = 1;
            if (!by_operator)
                return false;
        }
    }
    rec->out_time = static_cast<int32_t>(time);
    rec->places = 0;
    return true;
}

} // namespace

void netnumbase_update(const char* number, long time, const _access_entry_t& entry,
                       int barrier_type, bool by_operator, _netnum_outcome_t* outcome) {
    char path[NETBASE_PATH_SIZE];
    netbase_path(path, gv_netnumbase);
    // Opened for appending first only to create a missing journal. A path
    // that holds no plain file was said once and is left alone.
    const int created = journal_open(path, O_WRONLY | O_CREAT | O_APPEND, DECISION);
    if (created < 0) {
        if (created == JOURNAL_OPEN_FAILED)
            log_line(DECISION, "Can't open file %s\n", path);
        return;
    }
    close(created);
    bool refused = false;
    FILE* journal = journal_fopen(path, O_RDWR, "r+b", DECISION, &refused);
    if (journal == nullptr) {
        if (!refused)
            log_line(DECISION, "Can't reopen file %s\n", path);
        return;
    }
    // Held from the search to the write: the other barrier's service must not
    // append the same car or rewrite its record in between.
    journal_lock(fileno(journal), F_WRLCK, DECISION);

    _netnum_rec_t rec;
    long offset = find_record(journal, path, number, &rec);
    if (offset == UNREADABLE) {
        // The car's record may lie beyond what was read: a new one would be
        // a second record of the car, so the journal is left as it is, as
        // when it cannot be opened.
        fclose(journal);
        return;
    }
    const bool known = offset >= 0;
    if (!known)
        new_record(&rec, number, entry.owner);
    const bool to_write =
        barrier_type == 1
            ? enter(journal, path, number, time, entry, &rec, outcome)
            : leave(journal, path, number, time, known, by_operator, entry, &rec, outcome);
    bool written = true;
    if (to_write) {
        if (!known)
            offset = append_offset(journal);
        written = write_record(journal, offset, !known, rec);
    }
    // A network file system may report a failed write only at the close.
    if (fclose(journal) != 0 && to_write)
        written = false;
    if (!written)
        log_line(DECISION, "Can't write to file: %s\n", path);
}
