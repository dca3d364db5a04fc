#include "access/netnum_scan.h"

#include <cstring>
#include <fcntl.h>

#include "access/netbase_path.h"
#include "access/netnum_journal.h"
#include "support/journal_file.h"
#include "support/log.h"

namespace {

const char SCAN[] = "netnumbase_scan_owner";

// False, after saying so, when the entry names no owner: there is nobody
// whose places could be counted.
bool owner_named(const char* owner) {
    if (owner[0] == '\0') {
        log_line(SCAN, "netnumbase_scan_owner: no owner\n");
        return false;
    }
    log_line(SCAN, "netnumbase_scan_owner: searching for %.*s\n",
             static_cast<int>(ACCESS_FIELD_SIZE), owner);
    return true;
}

// The records come from another service's writes and may be damaged, so
// their text fields are compared and shown within their own bytes only.
int count_places(FILE* journal, const char* path, int& used, const char* owner,
                 const char* number) {
    rewind(journal);
    used = 0;
    _netnum_rec_t block[NETNUM_BLOCK_RECORDS];
    for (size_t count; (count = netnum_read_block(journal, block)) > 0;) {
        for (const _netnum_rec_t* rec = block; rec != block + count; ++rec) {
            if (same_text(rec->number, number, sizeof rec->number) ||
                !same_text(rec->owner, owner, sizeof rec->owner))
                continue;
            used += rec->places;
            log_line(SCAN, "netnumbase_scan_owner: %.*s[%.*s] uses %i places\n",
                     static_cast<int>(sizeof rec->number), rec->number,
                     static_cast<int>(ACCESS_FIELD_SIZE), owner, used);
        }
    }
    if (ferror(journal)) {
        log_line(SCAN, "netnumbase_scan_owner: Can't read from file %s\n", path);
        return 0;
    }
    return 1;
}

} // namespace

size_t netnum_read_block(FILE* journal, _netnum_rec_t* block) {
    return fread(block, sizeof *block, NETNUM_BLOCK_RECORDS, journal);
}

int netnum_scan_owner_in(FILE* journal, const char* path, int& used, const char* owner,
                         const char* number) {
    return owner_named(owner) ? count_places(journal, path, used, owner, number) : 0;
}

int netnumbase_scan_owner(int& used, const char* owner, const char* number) {
    if (!owner_named(owner))
        return 0;
    char path[NETBASE_PATH_SIZE];
    netbase_path(path, gv_netnumbase);
    bool refused = false;
    FILE* journal = journal_fopen(path, O_RDONLY, "rb", SCAN, &refused);
    if (journal == nullptr) {
        if (!refused)
            log_line(SCAN, "netnumbase_scan_owner: Can't open file %s\n", path);
        return 0;
    }
    // Shared: an update of the other barrier waits, so no record is counted
    // half rewritten.
    journal_lock(fileno(journal), F_RDLCK, SCAN);
    const int whole = count_places(journal, path, used, owner, number);
    fclose(journal);
    return whole;
}
