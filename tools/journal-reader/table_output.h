// Writing rows of cells out: as a table for people or as CSV for other
// programs. Every write is checked, so that a full disk or a closed pipe is
// never taken for a complete listing.
#pragma once

#include <cstdio>
#include <vector>

#include "tools/journal-reader/journal_columns.h"

// A table for people: a header line and the rows, each column as wide as
// its widest cell in characters on the screen. Control bytes from the
// journals are shown as \xNN escapes, never sent to the terminal. The rows
// are measured first and written after, each time as they are read, so that
// no table of any length is ever held.
struct Table {
    explicit Table(const std::vector<Column>& columns);
    const std::vector<Column>& columns;
    std::vector<size_t> widths; // so far
};

void measure_row(Table* table, const Cells& cells);
// Each 0, or -1 when the write failed.
int write_table_header(FILE* out, const Table& table);
int write_table_row(FILE* out, const Table& table, const Cells& cells);

// One CSV line, UTF-8, comma-separated, quoted where a field needs it.
// 0, or -1 when the write failed.
int write_csv_line(FILE* out, const Cells& cells);
int write_csv_header(FILE* out, const std::vector<Column>& columns);
