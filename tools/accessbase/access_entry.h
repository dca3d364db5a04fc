// One access-base entry as people write it (UTF-8, readable dates) and its
// conversion to and from the file's 116-byte record.
#pragma once

#include <string>
#include <vector>

#include "access/access_base.h"

struct AccessRow {
    std::string number;   // pattern, letters, digits and `?`
    std::string from;     // ISO 8601 date with time and zone
    std::string to;       // ISO 8601 date with time and zone
    std::string owner;    // may be empty: no owner, no limits counted
    std::string places;   // empty or a whole number; 0 or empty: no limit
    std::string max_time; // empty or HH:MM; empty or 0:00: no limit
    std::string text;     // display text, may hold a `}`
};

// The CSV columns, in order, and the header line's names.
extern const std::vector<std::string> ACCESS_CSV_HEADER;

// Builds the record for `row`, refusing what the file cannot hold. 0, or -1
// with `error` set.
int make_access_record(const AccessRow& row, _access_rec_t* record, std::string* error);

AccessRow access_row(const _access_rec_t& record);
std::vector<std::string> access_row_fields(const AccessRow& row);
AccessRow access_row_from_fields(const std::vector<std::string>& fields);

// The record's pattern, read within its field.
std::string access_pattern(const _access_rec_t& record);
