#include "tools/journal-reader/journal_show.h"

#include <cerrno>

#include "tools/journal-reader/occupancy_view.h"
#include "tools/journal-reader/table_output.h"

namespace {

// One list of rows: streamed line by line as CSV, so a journal of years
// never has to be held; gathered for a table, which is aligned on its
// widest cell.
struct Listing {
    Listing(FILE* out_, bool csv_, const std::vector<Column>& columns_)
        : out(out_), csv(csv_), columns(columns_) {}

    FILE* out;
    bool csv;
    const std::vector<Column>& columns;
    std::vector<Cells> rows;
    int error = 0; // errno of the first failed write

    bool failed(int result) {
        if (result != 0 && error == 0)
            error = errno != 0 ? errno : EIO;
        return result != 0;
    }
    bool begin() { return !csv || !failed(write_csv_header(out, columns)); }
    bool add(const Cells& cells) {
        if (!csv) {
            rows.push_back(cells);
            return true;
        }
        return !failed(write_csv_line(out, cells));
    }
    // The table and a line that counts its rows in `unit` (singular, plural).
    bool end(const char* one, const char* many) {
        if (csv)
            return true;
        if (failed(write_table(out, columns, rows)))
            return false;
        const int counted = fprintf(out, "%zu %s\n", rows.size(), rows.size() == 1 ? one : many);
        return !failed(counted < 0 ? -1 : 0);
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
    bool written = listing.begin();
    for (const Item& item : items)
        written = written && listing.add(to_cells(item));
    written = written && listing.end(one, many);
    *error = listing.error;
    return written;
}

int show_occupancy(FILE* file, const ShowOptions& options, FILE* out,
                   std::vector<JournalFault>* faults, int* error) {
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

// The pass and the archive journal: one list of passages.
int show_passages(FILE* file, const std::string& deviceid, const ShowOptions& options, FILE* out,
                  std::vector<JournalFault>* faults, int* error) {
    const bool pass =
        options.kind == JournalKind::PASS_RECORDS || options.kind == JournalKind::PASS_LINES;
    const TimeStyle style = options.csv ? TimeStyle::ZONE_OFFSET : TimeStyle::NAMED_ZONE;
    Listing passages{out, options.csv, pass ? PASS_COLUMNS : ARCHIVE_COLUMNS};
    if (!passages.begin())
        return *error = passages.error, SHOW_WRITE_FAILED;
    RowHandlers handlers;
    handlers.pass = [&](const PassRow& row) {
        return !keeps(options.filter, row) || passages.add(pass_cells(row, style));
    };
    handlers.archive = [&](const ArchiveRow& row) {
        return !keeps(options.filter, row) || passages.add(archive_cells(row, style));
    };
    const int read = read_journal(file, options.kind, deviceid, handlers, faults);
    if (read == READ_FAILED) {
        *error = errno;
        return SHOW_READ_FAILED;
    }
    if (read == READ_STOPPED || !passages.end("passage", "passages"))
        return *error = passages.error, SHOW_WRITE_FAILED;
    return SHOW_DONE;
}

} // namespace

int show_journal(FILE* file, const std::string& deviceid, const ShowOptions& options, FILE* out,
                 std::vector<JournalFault>* faults, int* error) {
    if (options.kind == JournalKind::OCCUPANCY)
        return show_occupancy(file, options, out, faults, error);
    return show_passages(file, deviceid, options, out, faults, error);
}
