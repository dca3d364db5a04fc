// How each kind of row is laid out in columns, the same for a table and for
// CSV: which columns, in which order, and each field as text.
#pragma once

#include <string>
#include <vector>

#include "tools/journal-reader/journal_rows.h"
#include "tools/journal-reader/journal_time.h"

struct Column {
    const char* name;
    bool numeric; // right-aligned in a table
};

using Cells = std::vector<std::string>;

// Places an owner's cars hold together, as the service counts them against
// the owner's limit.
struct OwnerPlaces {
    std::string owner;
    int places;
    int cars;
};

extern const std::vector<Column> OCCUPANCY_COLUMNS;
extern const std::vector<Column> INSIDE_COLUMNS;
extern const std::vector<Column> OWNER_COLUMNS;
extern const std::vector<Column> PASS_COLUMNS;
extern const std::vector<Column> ARCHIVE_COLUMNS;

Cells occupancy_cells(const OccupancyRow& row, TimeStyle style);
Cells inside_cells(const OccupancyRow& row, TimeStyle style); // who is inside, since when
Cells owner_cells(const OwnerPlaces& owner);
Cells pass_cells(const PassRow& row, TimeStyle style);
Cells archive_cells(const ArchiveRow& row, TimeStyle style);
