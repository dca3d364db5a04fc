// The editor's operations on an access base held in memory, in file order
// (the service uses the first matching entry).
#pragma once

#include <string>
#include <vector>

#include "tools/accessbase/access_entry.h"

// Appends the entry, its pattern folded as pattern_fold.h tells. Refuses a
// pattern that is already listed, since the later entry could never be
// used. What the operator should know of an accepted entry (each fold, a
// pattern that an earlier one hides, places that are never counted) is
// added to `notes`. 0, or -1 with `error` set.
int add_access_entry(std::vector<_access_rec_t>* records, const AccessRow& row,
                     std::vector<std::string>* notes, std::string* error);

// Puts the entry in the place of the one with the same pattern (folded as
// when adding), so that the order of first matches stays; the new entry is
// checked as when adding, against the entries before it. -1 when there is
// no such entry or the new one is refused.
int replace_access_entry(std::vector<_access_rec_t>* records, const AccessRow& row,
                         std::vector<std::string>* notes, std::string* error);

// Removes every entry with exactly this pattern (folded as when adding);
// -1 when there is none.
int remove_access_entries(std::vector<_access_rec_t>* records, const std::string& pattern,
                          std::vector<std::string>* notes, std::string* error);

// Entries of a CSV text (UTF-8; a header line is optional), all or none;
// notes and errors name the line.
int import_access_csv(const std::string& csv, std::vector<_access_rec_t>* records,
                      std::vector<std::string>* notes, std::string* error);

// A CSV text with the header line; importing it gives the same entries.
std::string export_access_csv(const std::vector<_access_rec_t>& records);

// A readable listing in UTF-8, one entry a line, control bytes escaped.
std::string list_access_entries(const std::vector<_access_rec_t>& records);
