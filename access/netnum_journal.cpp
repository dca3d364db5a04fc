#include "access/netnum_journal.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "access/access_decision.h"
#include "access/netnum_scan.h"
#include "support/journal_file.h"
#include "support/log.h"
#include "support/process_values.h"
#include "support/support_routines.h"

namespace {

constexpr long record_size = sizeof(_netnum_rec_t);

// The journal open for reading and writing, created when missing; -1 when it
// is not. One open: over a network mount each costs round trips. Should
// access be refused (a file only to be appended to, by its mode or its
// attributes), the log tells as it always has which step was: creating the
// journal, or opening it for reading too. Any other error would meet the
// append all the same, and over a mount whose server is gone each try costs
// a time-out. A path that holds no plain file was said once and is left
// alone.
int open_journal(const char* path) {
    const int journal = journal_open(path, O_RDWR | O_CREAT, decision_log_name);
    if (journal != journal_open_failed)
        return journal < 0 ? -1 : journal;
    const int created = errno == EACCES || errno == EPERM
                            ? journal_open(path, O_WRONLY | O_CREAT | O_APPEND, decision_log_name)
                            : journal_open_failed;
    if (created >= 0) {
        close(created);
        log_line(decision_log_name, "Can't reopen file %s\n", path);
    } else if (created == journal_open_failed) {
        log_line(decision_log_name, "Can't open file %s\n", path);
    }
    return -1;
}

// A new record starts where the last whole record ends: a torn fragment
// there is overwritten, so every record keeps its place on a 56-byte
// boundary for the readers that come after. -1 when the end is unknown.
long append_offset(int journal) {
    const off_t size = lseek(journal, 0, SEEK_END);
    return size < 0 ? -1 : static_cast<long>(size - size % record_size);
}

// One write of the whole record at `offset`. An appended record that did
// not go whole (a full disk) is cut off again, so the journal does not keep
// half a record; should the cut fail, the next append writes over the
// fragment.
bool write_record(int fd, long offset, bool appended, const _netnum_rec_t& rec) {
    return offset >= 0 &&
           journal_write_whole(fd, &rec, sizeof rec, offset, appended ? offset : -1) == journal_ok;
}

void new_record(_netnum_rec_t* rec, const char* number, const char* owner) {
    memset(rec, 0, sizeof *rec);
    copy_field(rec->number, sizeof rec->number, number, sizeof rec->number - 1);
    copy_field(rec->owner, sizeof rec->owner, owner, sizeof rec->owner - 1);
}

// Marks the car inside unless the owner's places are all held. False when the
// entry is refused, or the journal unreadable, and the record must stay as
// it was.
bool enter(const _netnum_pass_t& pass, const char* path, long time, const _access_entry_t& entry,
           _netnum_rec_t* rec, _netnum_outcome_t* outcome) {
    const int counted = netnum_count_owner(pass, path, outcome->used, entry.owner);
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
bool leave(const _netnum_pass_t& pass, const char* path, long time, bool known, bool by_operator,
           const _access_entry_t& entry, _netnum_rec_t* rec, _netnum_outcome_t* outcome) {
    if (known) {
        // Only for the owner summary of the decision.
        netnum_count_owner(pass, path, outcome->used, entry.owner);
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
    char path[netbase_path_size];
    netbase_path(path, gv_netnumbase);
    const int journal = open_journal(path);
    if (journal < 0)
        return;
    // Held from the search to the write: the other barrier's service must not
    // append the same car or rewrite its record in between.
    journal_lock(journal, F_WRLCK, path, decision_log_name);

    // The car's record and its owner's places, in one read of the journal.
    _netnum_pass_t pass;
    netnum_pass(journal, number, entry.owner, &pass);
    const bool known = pass.offset >= 0;
    if (!known && !pass.whole) {
        // The car's record may lie beyond what was read: a new one would be
        // a second record of the car, so the journal is left as it is, as
        // when it cannot be opened.
        log_line(decision_log_name, "Can't read from file %s\n", path);
        close(journal);
        return;
    }
    _netnum_rec_t rec;
    if (known)
        rec = pass.car;
    else
        new_record(&rec, number, entry.owner);
    const bool to_write = barrier_type == 1
                              ? enter(pass, path, time, entry, &rec, outcome)
                              : leave(pass, path, time, known, by_operator, entry, &rec, outcome);
    bool written = true;
    if (to_write)
        written = write_record(journal, known ? pass.offset : append_offset(journal), !known, rec);
    // A network file system may report a failed write only at the close.
    if (close(journal) != 0 && to_write)
        written = false;
    if (!written)
        log_line(decision_log_name, "Can't write to file: %s\n", path);
}
