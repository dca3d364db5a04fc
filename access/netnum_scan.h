// The owner count of the occupancy journal on a journal that the caller has
// already opened and locked. Closing any descriptor of the file would drop
// the caller's lock, so the update step counts on its own stream.
#pragma once

#include <cstdio>

// netnumbase_scan_owner over `journal` (read from its start; `path` names it
// in the log): the same lines, the same results, nothing opened or closed.
int netnum_scan_owner_in(FILE* journal, const char* path, int& used, const char* owner,
                         const char* number);
