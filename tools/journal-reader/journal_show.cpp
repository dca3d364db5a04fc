#include "tools/journal-reader/journal_show.h"

#include <cerrno>
#include <functional>

#include "tools/journal-reader/occupancy_view.h"
#include "tools/journal-reader/table_output.h"

namespace {

// Takes one row's cells; false to stop.
using Take = std::function<bool(const Cells&)>;
// Hands every row to `take`: a READ_ status.
using Rows = std::function<int(const Take&)>;

// One list of rows, streamed line by line as CSV. A table is aligned on its
// widest cell, so its rows are gone through twice, measured and then
// written: a journal of years is never held.
struct Listing {
    FILE* out;
    bool csv;
    const std::vector<Column>& columns;
    int error = 0; // errno of the first failed write, or of a failed read

    bool failed(int result) {
        if (result != 0 && error == 0)
            error = errno != 0 ? errno : EIO;
        return result != 0;
    }
    int show(const Rows& rows, const char* one, const char* many) {
        if (csv) {
            if (failed(write_csv_header(out, columns)))
                return SHOW_WRITE_FAILED;
            const int read =
                rows([this](const Cells& cells) { return !failed(write_csv_line(out, cells)); });
            return ended(read);
        }
        Table table(columns);
        size_t count = 0;
        int read = rows([&](const Cells& cells) {
            measure_row(&table, cells);
            ++count;
            return true;
        });
        if (read != READ_DONE)
            return ended(read);
        if (failed(write_table_header(out, table)))
            return SHOW_WRITE_FAILED;
        // Rows the file gained since it was measured are left for the next run.
        size_t written = 0;
        read = rows([&](const Cells& cells) {
            return written < count && !failed(write_table_row(out, table, cells)) &&
                   ++written < count;
        });
        if (read == READ_FAILED || error != 0)
            return ended(read);
        const int counted = fprintf(out, "%zu %s\n", count, count == 1 ? one : many);
        return failed(counted < 0 ? -1 : 0) ? SHOW_WRITE_FAILED : SHOW_DONE;
    }
    int ended(int read) {
        if (read == READ_FAILED) {
            error = errno;
            return SHOW_READ_FAILED;
        }
        return error != 0 ? SHOW_WRITE_FAILED : SHOW_DONE;
    }
};

bool heading(FILE* out, const char* title, int* error) {
    if (fputs(title, out) >= 0)
        return true;
    *error = errno;
    return false;
}

template <typename Item, typename ToCells>
bool write_list(FILE* out, bool csv, const std::vector<Column>& columns,
                const std::vector<Item>& items, ToCells to_cells, const char* one, const char* many,
                int* error) {
    Listing listing{out, csv, columns};
    const int shown = listing.show(
        [&](const Take& take) {
            for (const Item& item : items) {
                if (!take(to_cells(item)))
                    return READ_STOPPED;
            }
            return READ_DONE;
        },
        one, many);
    *error = listing.error;
    return shown == SHOW_DONE;
}

// The occupancy journal holds one record per car, never more than a car
// park's cars: it is gathered, for the views that count across it.
int show_occupancy(FILE* file, const ShowOptions& options, FILE* out, JournalFaults* faults,
                   int* error) {
    std::vector<OccupancyRow> rows;
    RowHandlers handlers;
    handlers.occupancy = [&](const OccupancyRow& row) {
        if (keeps(options.filter, row))
            rows.push_back(row);
        return true;
    };
    if (read_journal(file, options.kind, "", handlers, faults) == READ_FAILED) {
        *error = errno;
        return SHOW_READ_FAILED;
    }
    const bool csv = options.csv;
    const TimeStyle style = csv ? TimeStyle::ZONE_OFFSET : TimeStyle::NAMED_ZONE;
    const bool all = options.view == OccupancyView::DEFAULT && !csv;
    const OccupancyView view =
        options.view == OccupancyView::DEFAULT && csv ? OccupancyView::RECORDS : options.view;
    bool written = true;
    if (all || view == OccupancyView::INSIDE) {
        written = (!all || heading(out, "Cars inside now:\n", error)) &&
                  write_list(
                      out, csv, INSIDE_COLUMNS, cars_inside(rows),
                      [&](const OccupancyRow& row) { return inside_cells(row, style); },
                      "car inside", "cars inside", error);
    }
    if (written && (all || view == OccupancyView::OWNERS)) {
        written = (!all || heading(out, "\nPlaces held per owner:\n", error)) &&
                  write_list(out, csv, OWNER_COLUMNS, places_by_owner(rows), owner_cells, "owner",
                             "owners", error);
    }
    if (written && (all || view == OccupancyView::RECORDS)) {
        written = (!all || heading(out, "\nAll records:\n", error)) &&
                  write_list(
                      out, csv, OCCUPANCY_COLUMNS, rows,
                      [&](const OccupancyRow& row) { return occupancy_cells(row, style); },
                      "record", "records", error);
    }
    return written ? SHOW_DONE : SHOW_WRITE_FAILED;
}

// The pass and the archive journal: one list of passages, read from the
// file as it is shown. Its faults are noted on the first reading only.
int show_passages(FILE* file, const std::string& deviceid, const ShowOptions& options, FILE* out,
                  JournalFaults* faults, int* error) {
    const bool pass =
        options.kind == JournalKind::PASS_RECORDS || options.kind == JournalKind::PASS_LINES;
    const TimeStyle style = options.csv ? TimeStyle::ZONE_OFFSET : TimeStyle::NAMED_ZONE;
    Listing passages{out, options.csv, pass ? PASS_COLUMNS : ARCHIVE_COLUMNS};
    JournalFaults again;
    JournalFaults* noted = faults;
    const int shown = passages.show(
        [&](const Take& take) {
            RowHandlers handlers;
            handlers.pass = [&](const PassRow& row) {
                return !keeps(options.filter, row) || take(pass_cells(row, style));
            };
            handlers.archive = [&](const ArchiveRow& row) {
                return !keeps(options.filter, row) || take(archive_cells(row, style));
            };
            if (noted != faults && fseek(file, 0, SEEK_SET) != 0)
                return static_cast<int>(READ_FAILED);
            const int read = read_journal(file, options.kind, deviceid, handlers, noted);
            noted = &again;
            return read;
        },
        "passage", "passages");
    *error = passages.error;
    return shown;
}

} // namespace

int show_journal(FILE* file, const std::string& deviceid, const ShowOptions& options, FILE* out,
                 JournalFaults* faults, int* error) {
    if (options.kind == JournalKind::OCCUPANCY)
        return show_occupancy(file, options, out, faults, error);
    return show_passages(file, deviceid, options, out, faults, error);
}
