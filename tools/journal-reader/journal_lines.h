// The text lines of the journals, read into rows. The service writes the
// fields between ';' without quoting, so a ';' inside a text shows up as an
// extra column: the fixed columns are taken from both ends of the line and
// whatever lies between them belongs to the texts.
#pragma once

#include <string>

#include "tools/journal-reader/journal_rows.h"

// The fewest columns a sound line of each file has.
constexpr size_t PASS_LINE_COLUMNS = 10;
constexpr size_t ARCHIVE_LINE_COLUMNS = 9;

// Each takes one line without its line end: 0 and the row, or -1 with `why`
// saying what the service would never have written.
int parse_pass_line(const std::string& line, PassRow* row, std::string* why);
int parse_archive_line(const std::string& line, ArchiveRow* row, std::string* why);
