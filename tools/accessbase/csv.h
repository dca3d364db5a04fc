// Comma-separated values as spreadsheets write them: fields may be quoted
// with '"', a quote inside a quoted field is doubled, lines end in LF,
// CR LF or CR, and a leading UTF-8 byte-order mark is ignored.
#pragma once

#include <string>
#include <vector>

struct CsvRow {
    int line; // where the row starts, from 1
    std::vector<std::string> fields;
};

// Empty lines are skipped. 0, or -1 with `error` set on an unclosed quote
// or text after a closing quote.
int parse_csv(const std::string& text, std::vector<CsvRow>* rows, std::string* error);

// One line with its LF; fields are quoted only where they need it.
std::string csv_line(const std::vector<std::string>& fields);
