// The editor's operations on an access base held in memory, in file order
// (the service uses the first matching entry).
#pragma once

#include <string>
#include <vector>

#include "tools/accessbase/access_entry.h"

// Appends the entry; refuses a pattern that is already listed, since the
// later entry could never be used. 0, or -1 with `error` set.
int add_access_entry(std::vector<_access_rec_t>* records, const AccessRow& row, std::string* error);

// Removes every entry with exactly this pattern; -1 when there is none.
int remove_access_entries(std::vector<_access_rec_t>* records, const std::string& pattern,
                          std::string* error);

// Entries of a CSV text (UTF-8; a header line is optional), all or none.
int import_access_csv(const std::string& csv, std::vector<_access_rec_t>* records,
                      std::string* error);

// A CSV text with the header line; importing it gives the same entries.
std::string export_access_csv(const std::vector<_access_rec_t>& records);

// A readable listing in UTF-8, one entry a line.
std::string list_access_entries(const std::vector<_access_rec_t>& records);
