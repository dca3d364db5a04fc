// Makes the passage report that a command line asked for.
#pragma once

#include <cstdio>

#include "tools/journal-reader/report_sources.h"

// Writes the page as `request.output`, whole or not at all: it is written
// beside it first and then renamed over it, so a failed run leaves an
// earlier report as it was. Tells on `out` how many passages it holds. An
// output that is not a regular file or is one of the files read is refused;
// "-" writes the page on `out` and tells on `err`.
// 0 done; 1 when a file was unreadable or not whole (the page is still made
// from what was whole, unless a file could not be read at all) or the page
// could not be written.
int make_report(const ReportRequest& request, FILE* out, FILE* err);
