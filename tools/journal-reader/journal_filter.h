// Which rows to show: those of one car number, or of numbers like a
// pattern, and those within a stretch of time.
#pragma once

#include <cstdint>
#include <string>

#include "tools/journal-reader/journal_rows.h"

struct RowFilter {
    std::string number; // empty: every number
    int64_t from = INT64_MIN;
    int64_t to = INT64_MAX; // inclusive
};

// `?` in `pattern` stands for any one character, the journals' own `?` (a
// character the engine could not read) included; letters match in either
// case; otherwise the whole number must be the same.
bool number_matches(const std::string& pattern, const std::string& number);

bool keeps(const RowFilter& filter, const PassRow& row);
bool keeps(const RowFilter& filter, const ArchiveRow& row);
// A car is kept when it entered or left within the time.
bool keeps(const RowFilter& filter, const OccupancyRow& row);

// Reads a time given on the command line: seconds since the epoch, ISO 8601
// with a zone, or a local date and time without one. A date alone is its
// first second, or its last one with `end_of_day`. 0, or -1 with `error`.
int parse_time_option(const std::string& text, bool end_of_day, int64_t* seconds,
                      std::string* error);
