#include "tools/accessbase/access_edit.h"

#include <algorithm>

#include "tools/accessbase/csv.h"

int add_access_entry(std::vector<_access_rec_t>* records, const AccessRow& row,
                     std::string* error) {
    _access_rec_t record;
    if (make_access_record(row, &record, error) != 0)
        return -1;
    for (const _access_rec_t& listed : *records) {
        if (access_pattern(listed) == row.number) {
            *error = "the number pattern \"" + row.number + "\" is already listed";
            return -1;
        }
    }
    records->push_back(record);
    return 0;
}

int remove_access_entries(std::vector<_access_rec_t>* records, const std::string& pattern,
                          std::string* error) {
    const auto kept = std::remove_if(records->begin(), records->end(), [&](const _access_rec_t& r) {
        return access_pattern(r) == pattern;
    });
    if (kept == records->end()) {
        *error = "no entry has the number pattern \"" + pattern + "\"";
        return -1;
    }
    records->erase(kept, records->end());
    return 0;
}

int import_access_csv(const std::string& csv, std::vector<_access_rec_t>* records,
                      std::string* error) {
    std::vector<CsvRow> rows;
    if (parse_csv(csv, &rows, error) != 0)
        return -1;
    std::vector<_access_rec_t> imported;
    for (size_t i = 0; i < rows.size(); ++i) {
        const CsvRow& row = rows[i];
        if (i == 0 && row.fields == ACCESS_CSV_HEADER)
            continue;
        std::string why;
        int result = -1;
        if (row.fields.size() != ACCESS_CSV_HEADER.size()) {
            why = std::to_string(ACCESS_CSV_HEADER.size()) + " columns expected, found " +
                  std::to_string(row.fields.size());
        } else {
            result = add_access_entry(&imported, access_row_from_fields(row.fields), &why);
        }
        if (result != 0) {
            *error = "line " + std::to_string(row.line) + ": " + why;
            return -1;
        }
    }
    *records = imported;
    return 0;
}

std::string export_access_csv(const std::vector<_access_rec_t>& records) {
    std::string csv = csv_line(ACCESS_CSV_HEADER);
    for (const _access_rec_t& record : records)
        csv += csv_line(access_row_fields(access_row(record)));
    return csv;
}

std::string list_access_entries(const std::vector<_access_rec_t>& records) {
    std::string listing;
    int index = 0;
    for (const _access_rec_t& record : records) {
        const AccessRow row = access_row(record);
        listing += std::to_string(++index) + ". " + row.number + "  " + row.from + " .. " + row.to +
                   "  owner \"" + row.owner + "\", places " +
                   (row.places.empty() ? "-" : row.places) + ", max time " +
                   (row.max_time.empty() ? "-" : row.max_time) + ", text \"" + row.text + "\"\n";
    }
    return listing + std::to_string(records.size()) +
           (records.size() == 1 ? " entry" : " entries") + "\n";
}
