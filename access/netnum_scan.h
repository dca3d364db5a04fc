// The owner count of the occupancy journal on a journal that the caller has
// already opened and locked. Closing any descriptor of the file would drop
// the caller's lock, so the update step counts on its own stream.
#pragma once

#include <cstdio>
#include <cstring>

#include "access/netnum_journal.h"

// Both passes over the journal read this many records at once: a journal of
// many cars costs a few reads, not one library call per record. 28 KiB, a
// whole number of 4 KiB pages, which the C library reads straight into the
// block.
enum { NETNUM_BLOCK_RECORDS = 512 };

// Reads the next whole records, at most NETNUM_BLOCK_RECORDS, into `block`;
// how many. A torn record at the end is not read as one.
size_t netnum_read_block(FILE* journal, _netnum_rec_t* block);

// The texts in fields of `size` bytes are equal (strncmp). The first bytes
// are compared first: in a journal of many cars nearly every record differs
// there, and the library call would cost more than all the rest of a pass.
inline bool same_text(const char* a, const char* b, size_t size) {
    return a[0] == b[0] && strncmp(a, b, size) == 0;
}

// netnumbase_scan_owner over `journal` (read from its start; `path` names it
// in the log): the same lines, the same results, nothing opened or closed.
int netnum_scan_owner_in(FILE* journal, const char* path, int& used, const char* owner,
                         const char* number);
