// Gathers the passage report's facts from the files the service writes: the
// pass journal of the net-base directory, the archives of the boards'
// storages and, if given, the occupancy journal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/journal-reader/journal_filter.h"
#include "tools/journal-reader/passage_report.h"

struct ReportRequest {
    std::string output;                // the page to write
    std::string pass;                  // netpassbase.tpn, or its text lines (.csv)
    std::vector<std::string> archives; // "<mount point>/<device id>" folders
    std::string occupancy;             // netnumbase.tpn; empty: not shown
    RowFilter filter;                  // which passages
};

enum {
    GATHERED_WHOLE = 0,
    GATHERED_FAULTS = 1, // a file held something not whole, told on `err`; the rest is there
    GATHER_FAILED = -1,  // a file could not be opened or read, told on `err`
};

// Reads every file of `request` into `report`, with the snapshots linked
// relative to `report_dir`, the resolved folder the page goes to.
int gather_report(const ReportRequest& request, const std::string& report_dir, Report* report,
                  FILE* err);
