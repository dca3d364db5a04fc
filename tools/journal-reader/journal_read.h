// Reads a journal file from start to end, row by row, so that a journal of
// years fits in the board's memory: whole, sound rows go to the handler of
// their kind, and every place that is not one (a torn tail, a foreign
// record, a broken line) is noted with its offset.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/journal-reader/journal_rows.h"

// A place in a journal that holds no sound row.
struct JournalFault {
    size_t offset;
    std::string what; // "40 bytes at offset 368 are not a whole record"
};

// The faults of one file: every one counted, the first ones kept, so that a
// foreign file of millions of faults is not held.
struct JournalFaults {
    static constexpr size_t KEPT = 100;
    std::vector<JournalFault> kept;
    size_t count = 0;
    size_t damaged_records = 0; // whole records that were not sound, skipped
    void add(size_t offset, const std::string& what);
};

// The handler for the kind being read must be set. Each returns false to
// stop the reading (its output failed).
struct RowHandlers {
    std::function<bool(const OccupancyRow&)> occupancy;
    std::function<bool(const PassRow&)> pass;
    std::function<bool(const ArchiveRow&)> archive;
};

enum {
    READ_DONE = 0,     // read to the end; faults, if any, are noted
    READ_FAILED = -1,  // the file could not be read; errno tells why
    READ_STOPPED = -2, // a handler stopped it
};

// Reads `file` as a journal of `kind`. A record file goes on after records
// that are not sound (a block zeroed by a power cut, say), since the service
// keeps every append aligned to whole records; each stretch of them is one
// fault. A text file goes on after a broken line, since each line stands
// alone; a line longer than TEXT_LINE_MAX is a fault, not read into memory.
// `deviceid` is what archive records are filed under.
int read_journal(FILE* file, JournalKind kind, const std::string& deviceid,
                 const RowHandlers& handlers, JournalFaults* faults);

// Tells the faults of the file at `path` on `err`, the first few in full:
// a foreign text file could have thousands, so the rest are only counted.
// Skipped records are counted on a line of their own.
void tell_faults(FILE* err, const std::string& path, const JournalFaults& faults);
