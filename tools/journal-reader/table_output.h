// Writing rows of cells out: as a table for people or as CSV for other
// programs. Every write is checked, so that a full disk or a closed pipe is
// never taken for a complete listing.
#pragma once

#include <cstdio>
#include <vector>

#include "tools/journal-reader/journal_columns.h"

// A header line and the rows, each column as wide as its widest cell in
// characters on the screen; control bytes from the journals are shown as
// \xNN escapes, never sent to the terminal. 0, or -1 when a write failed.
int write_table(FILE* out, const std::vector<Column>& columns, const std::vector<Cells>& rows);

// One CSV line, UTF-8, comma-separated, quoted where a field needs it.
// 0, or -1 when the write failed.
int write_csv_line(FILE* out, const Cells& cells);
int write_csv_header(FILE* out, const std::vector<Column>& columns);
