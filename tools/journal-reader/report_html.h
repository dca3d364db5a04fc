// The passage report as one HTML page: the passages per day, the cars
// inside now, and every passage with its snapshot, to be filtered by number,
// day and decision in the browser.
#pragma once

#include <cstdio>

#include "tools/journal-reader/passage_report.h"

// 0, or -1 when a write failed.
int write_report_html(FILE* out, const Report& report);
