// Shows one journal: its rows read, filtered, and written as tables or CSV.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/journal-reader/journal_filter.h"
#include "tools/journal-reader/journal_read.h"

// What the occupancy journal is shown as: by default, as tables, who is
// inside, the places per owner and every record; as CSV, every record.
enum class OccupancyView { DEFAULT, INSIDE, OWNERS, RECORDS };

struct ShowOptions {
    JournalKind kind = JournalKind::OCCUPANCY;
    bool csv = false;
    OccupancyView view = OccupancyView::DEFAULT;
    RowFilter filter;
};

enum {
    SHOW_DONE = 0,
    SHOW_READ_FAILED = -1,  // `*error` is the errno
    SHOW_WRITE_FAILED = -2, // `*error` is the errno
};

// Shows the journal open as `file`; the faults met on the way are added to
// `faults`. `deviceid` is what archive records are filed under.
int show_journal(FILE* file, const std::string& deviceid, const ShowOptions& options, FILE* out,
                 JournalFaults* faults, int* error);
