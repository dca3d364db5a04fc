// The occupancy journal's update and owner count on arbitrary journal bytes:
// the first bytes choose the car, its owner, the barrier, whether the operator
// lets the car out, and the limits; the rest is the journal. Whatever the bytes,
// the update rewrites a record in place or appends one on a record boundary,
// and sets at most one flag.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "access/netnum_journal.h"
#include "support/process_values.h"

namespace {

// The net-base directory of this run and the journal in it, removed when the
// run ends. Plain arrays: they outlive every exit handler. In memory where
// there is /dev/shm: on a disk every run waits for it, twenty times slower.
char dir[] = "/dev/shm/fuzz-netnum-XXXXXX";
char path[sizeof dir + 32];

const char* journal_path() {
    if (path[0] == '\0') {
        if (mkdtemp(dir) == nullptr) {
            snprintf(dir, sizeof dir, "/tmp/fuzz-netnum-XXXXXX");
            if (mkdtemp(dir) == nullptr)
                abort();
        }
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", dir);
        snprintf(path, sizeof path, "%s/%s", dir, gv_netnumbase);
        atexit([] {
            unlink(path);
            rmdir(dir);
        });
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t head = 12 + 3 + 3;
    if (size < head)
        return 0;
    char number[13] = {};
    memcpy(number, data, 12);
    _access_entry_t entry;
    memset(&entry, 0, sizeof entry);
    memcpy(entry.owner, data + 12, 3);
    const int barrier = data[15] & 1 ? 1 : -1;
    entry.places = static_cast<int8_t>(data[16]);
    entry.max_park_time = static_cast<int8_t>(data[17]) * 60;

    FILE* journal = fopen(journal_path(), "wb");
    if (journal == nullptr)
        return 0;
    const size_t body = size - head;
    const bool written = body == 0 || fwrite(data + head, body, 1, journal) == 1;
    if (fclose(journal) != 0 || !written)
        return 0;

    _netnum_outcome_t outcome = {0, 0, 0};
    netnumbase_update(number, 1000000000L, entry, barrier, (data[15] & 2) != 0, &outcome);
    struct stat after;
    const off_t appended = static_cast<off_t>(body - body % 56 + 56);
    if (stat(path, &after) != 0 ||
        (after.st_size != static_cast<off_t>(body) && after.st_size != appended))
        __builtin_trap();
    if (outcome.places_full && outcome.over_time)
        __builtin_trap();
    return 0;
}
