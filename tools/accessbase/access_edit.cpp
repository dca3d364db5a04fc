#include "tools/accessbase/access_edit.h"

#include <algorithm>

#include "tools/accessbase/csv.h"
#include "tools/accessbase/pattern_fold.h"
#include "tools/accessbase/pattern_index.h"
#include "tools/cp1251_text/shown_text.h"

namespace {

PatternIndex index_of(const std::vector<_access_rec_t>& records) {
    PatternIndex index;
    for (size_t i = 0; i < records.size(); ++i)
        index_pattern(&index, access_pattern(records[i]), i);
    return index;
}

std::string folded_pattern(const std::string& typed, std::vector<std::string>* notes) {
    std::string folds;
    const std::string folded = fold_pattern(typed, &folds);
    if (!folds.empty()) {
        notes->push_back("the number pattern " + quoted_excerpt(typed) + " is taken as " +
                         quoted_excerpt(folded) + " (" + folds + ")");
    }
    return folded;
}

// The service counts places per owner; without one they are never counted.
bool places_without_owner(const AccessRow& row) {
    return row.owner.empty() && row.places.find_first_not_of('0') != std::string::npos;
}

// Appends `row` to `records`, whose patterns `index` holds.
int append_entry(std::vector<_access_rec_t>* records, PatternIndex* index, AccessRow row,
                 std::vector<std::string>* notes, std::string* error) {
    std::vector<std::string> found;
    row.number = folded_pattern(row.number, &found);
    _access_rec_t record;
    if (make_access_record(row, &record, error) != 0)
        return -1;
    if (repeated_pattern(*index, row.number) >= 0) {
        *error = "the number pattern " + quoted_excerpt(row.number) + " is already listed";
        return -1;
    }
    std::string covering;
    if (covering_pattern(*index, row.number, &covering) >= 0) {
        found.push_back("the number pattern \"" + row.number +
                        "\" is never used: the earlier pattern \"" + covering +
                        "\" matches every number it matches, and the first match counts");
    }
    if (places_without_owner(row)) {
        found.push_back("places " + quoted_excerpt(row.places) + " of \"" + row.number +
                        "\" are never counted: places are counted per owner, and it has none");
    }
    index_pattern(index, row.number, records->size());
    records->push_back(record);
    notes->insert(notes->end(), found.begin(), found.end());
    return 0;
}

} // namespace

int add_access_entry(std::vector<_access_rec_t>* records, const AccessRow& row,
                     std::vector<std::string>* notes, std::string* error) {
    PatternIndex index = index_of(*records);
    return append_entry(records, &index, row, notes, error);
}

int replace_access_entry(std::vector<_access_rec_t>* records, const AccessRow& row,
                         std::vector<std::string>* notes, std::string* error) {
    std::vector<std::string> folds; // told again when the entry is made
    const std::string pattern = folded_pattern(row.number, &folds);
    const auto at = std::find_if(records->begin(), records->end(), [&](const _access_rec_t& r) {
        return access_pattern(r) == pattern;
    });
    if (at == records->end()) {
        *error = "no entry has the number pattern " + quoted_excerpt(pattern);
        return -1;
    }
    std::vector<_access_rec_t> edited(records->begin(), at);
    PatternIndex index = index_of(edited);
    if (append_entry(&edited, &index, row, notes, error) != 0)
        return -1;
    edited.insert(edited.end(), at + 1, records->end());
    records->swap(edited);
    return 0;
}

int remove_access_entries(std::vector<_access_rec_t>* records, const std::string& typed,
                          std::vector<std::string>* notes, std::string* error) {
    const std::string pattern = folded_pattern(typed, notes);
    const auto kept = std::remove_if(records->begin(), records->end(), [&](const _access_rec_t& r) {
        return access_pattern(r) == pattern;
    });
    if (kept == records->end()) {
        *error = "no entry has the number pattern " + quoted_excerpt(pattern);
        return -1;
    }
    records->erase(kept, records->end());
    return 0;
}

int import_access_csv(const std::string& csv, std::vector<_access_rec_t>* records,
                      std::vector<std::string>* notes, std::string* error) {
    std::vector<CsvRow> rows;
    if (parse_csv(csv, &rows, error) != 0)
        return -1;
    std::vector<_access_rec_t> imported;
    PatternIndex index;
    std::vector<std::string> found;
    for (size_t i = 0; i < rows.size(); ++i) {
        const CsvRow& row = rows[i];
        if (i == 0 && row.fields == ACCESS_CSV_HEADER)
            continue;
        std::string why;
        std::vector<std::string> row_notes;
        int result = -1;
        if (row.fields.size() != ACCESS_CSV_HEADER.size()) {
            why = std::to_string(ACCESS_CSV_HEADER.size()) + " columns expected, found " +
                  std::to_string(row.fields.size());
        } else {
            result = append_entry(&imported, &index, access_row_from_fields(row.fields), &row_notes,
                                  &why);
        }
        const std::string line = "line " + std::to_string(row.line) + ": ";
        if (result != 0) {
            *error = line + why;
            return -1;
        }
        for (const std::string& note : row_notes)
            found.push_back(line + note);
    }
    records->swap(imported);
    notes->insert(notes->end(), found.begin(), found.end());
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
        listing += std::to_string(++index) + ". " + escaped_text(row.number) + "  " + row.from +
                   " .. " + row.to + "  owner \"" + escaped_text(row.owner) + "\", places " +
                   (row.places.empty() ? "-" : escaped_text(row.places)) + ", max time " +
                   (row.max_time.empty() ? "-" : escaped_text(row.max_time)) + ", text \"" +
                   escaped_text(row.text) + "\"\n";
    }
    return listing + std::to_string(records.size()) +
           (records.size() == 1 ? " entry" : " entries") + "\n";
}
