// The passage report's facts: every decision of the pass journal joined with
// what a board's archive kept of the same passage (the owner summary and the
// snapshot), the passages counted per day, and the cars inside now. How the
// page shows them is report_html's business.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tools/journal-reader/journal_rows.h"

// What an archive kept of one passage.
struct ArchivedPassage {
    std::string summary;
    std::string snapshot; // link to the JPEG relative to the report; empty: no JPEG there
    bool pruned;          // no JPEG, as its name is older than the archive's oldest snapshot
};

// The archives' passages by board, time and number: what ties an archive
// record to its pass journal record, since neither file holds an id of the
// other. A car seen twice within one second is filed twice under one key,
// and the two are taken in their order.
using ArchiveKey = std::tuple<std::string, int64_t, std::string>;
using ArchiveIndex = std::map<ArchiveKey, std::deque<ArchivedPassage>>;

// Takes the next passage filed under the key; false when there is none left.
bool take_archived(ArchiveIndex* index, const ArchiveKey& key, ArchivedPassage* passage);

struct ReportPassage {
    PassRow pass;
    bool archived;
    ArchivedPassage archive;
};

struct Report {
    std::vector<ReportPassage> passages; // in journal order
    bool occupancy_given = false;
    std::vector<OccupancyRow> inside; // the cars that hold places now
    // What was not whole in the files read, "<file>: <fault>", the first
    // ones of each file; the rest only counted.
    std::vector<std::string> faults;
    size_t untold_faults = 0;
    size_t damaged_records = 0; // records skipped as not sound
};

// A passage is admitted when the barrier opened for it, from the list or by
// the operator.
inline bool admitted(const PassRow& pass) {
    return pass.access != 0;
}

struct DayCount {
    std::string day; // local date, "2009-03-14"
    int passages;
    int admitted;
};

// The local date of a time, "2009-03-14"; empty when the system cannot
// break the time down.
std::string local_day(int64_t seconds);

// The days with passages, in order of date.
std::vector<DayCount> count_days(const std::vector<ReportPassage>& passages);
