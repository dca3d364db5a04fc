#include "tools/journal-reader/journal_columns.h"

namespace {

// The occupancy journal's 0 means "never", not 1970.
std::string time_or_never(int64_t seconds, TimeStyle style) {
    return seconds == 0 ? "" : format_local_time(seconds, style);
}

} // namespace

const std::vector<Column> OCCUPANCY_COLUMNS = {
    {"number", false}, {"owner", false}, {"places", true}, {"in_time", false}, {"out_time", false}};
const std::vector<Column> INSIDE_COLUMNS = {
    {"number", false}, {"owner", false}, {"places", true}, {"since", false}};
const std::vector<Column> OWNER_COLUMNS = {{"owner", false}, {"places", true}, {"cars", true}};
const std::vector<Column> PASS_COLUMNS = {
    {"time", false},   {"number", false},   {"kind", true},
    {"in_list", true}, {"access", true},    {"message", false},
    {"info", false},   {"by_button", true}, {"deviceid", false}};
const std::vector<Column> ARCHIVE_COLUMNS = {
    {"time", false},  {"deviceid", false}, {"number", false},  {"kind", true}, {"in_list", true},
    {"access", true}, {"text", false},     {"summary", false}, {"jpeg", false}};

Cells occupancy_cells(const OccupancyRow& row, TimeStyle style) {
    return {row.number, row.owner, std::to_string(row.places), time_or_never(row.in_time, style),
            time_or_never(row.out_time, style)};
}

Cells inside_cells(const OccupancyRow& row, TimeStyle style) {
    return {row.number, row.owner, std::to_string(row.places), time_or_never(row.in_time, style)};
}

Cells owner_cells(const OwnerPlaces& owner) {
    return {owner.owner, std::to_string(owner.places), std::to_string(owner.cars)};
}

Cells pass_cells(const PassRow& row, TimeStyle style) {
    return {format_local_time(row.time, style),
            row.number,
            std::to_string(row.kind),
            std::to_string(row.in_list),
            std::to_string(row.access),
            row.message,
            row.info,
            std::to_string(row.by_button),
            row.deviceid};
}

Cells archive_cells(const ArchiveRow& row, TimeStyle style) {
    return {format_local_time(row.time, style),
            row.deviceid,
            row.number,
            row.kind < 0 ? "" : std::to_string(row.kind),
            std::to_string(row.in_list),
            std::to_string(row.access),
            row.text,
            row.summary,
            row.jpeg};
}
