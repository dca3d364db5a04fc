// Reading and replacing an access base file. The service may reload the file
// at any moment (SIGUSR1, or its own start), so the file is only ever
// replaced whole: written beside it under a temporary name, then renamed.
#pragma once

#include <string>
#include <vector>

#include "access/access_base.h"

// Reads every whole record. `ignored_bytes` receives the size of a trailing
// piece shorter than a record (the service ignores it too). 0, or -1 with
// `error` set when the file cannot be read.
int read_access_file(const std::string& path, std::vector<_access_rec_t>* records,
                     size_t* ignored_bytes, std::string* error);

int write_access_file(const std::string& path, const std::vector<_access_rec_t>& records,
                      std::string* error);

// Replaces the regular file at `path` (no link) with `bytes` atomically,
// through a temporary file "<path>.tmp.XXXXXX"; the file keeps its permissions
// and owner (a new one gets rw-rw-rw- less the umask). 0, or -1 with
// `error` set, and then the old file is untouched and no temporary file is
// left.
extern const char TEMPORARY_INFIX[]; // ".tmp."
int replace_file(const std::string& path, const std::string& bytes, std::string* error);

// The whole content of a regular file. 0, or -1 with `error` set.
int read_whole_file(const std::string& path, std::string* bytes, std::string* error);
