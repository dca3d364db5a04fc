#include "access/netnum_scan.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "support/log.h"

namespace {

const char SCAN[] = "netnumbase_scan_owner";

// Records per read: as many whole ones as 64 KiB holds, so every read starts
// on a record and a journal of many cars costs few reads.
constexpr size_t PASS_RECORDS = 65536 / sizeof(_netnum_rec_t);

// The text in `field` of `size` bytes is `text`, whose first byte is
// `first` (strncmp). The first bytes are compared first, `first` kept at
// hand: in a journal of many cars nearly every record differs there, and the
// library call would cost more than all the rest of a pass.
inline bool same_text(const char* field, char first, const char* text, size_t size) {
    return field[0] == first && strncmp(field, text, size) == 0;
}

// Reads until `block` is full, the file ends or a read fails (`*failed`):
// the bytes read.
size_t read_block(int fd, _netnum_rec_t* block, bool* failed) {
    char* bytes = reinterpret_cast<char*>(block);
    const size_t size = PASS_RECORDS * sizeof *block;
    size_t got = 0;
    while (got < size) {
        const ssize_t read_now = TEMP_FAILURE_RETRY(read(fd, bytes + got, size - got));
        if (read_now == 0)
            break;
        if (read_now < 0) {
            *failed = true;
            break;
        }
        got += static_cast<size_t>(read_now);
    }
    return got;
}

// False, after saying so, when the entry names no owner: there is nobody
// whose places could be counted.
bool owner_named(const char* owner) {
    if (owner[0] == '\0') {
        log_line(SCAN, "netnumbase_scan_owner: no owner\n");
        return false;
    }
    log_line(SCAN, "netnumbase_scan_owner: searching for %.*s\n",
             static_cast<int>(access_field_size), owner);
    return true;
}

// The count of the owner's cars that `pass` met, said in file order, each
// with the running total.
int count_places(const _netnum_pass_t& pass, const char* path, int& used, const char* owner) {
    used = 0;
    for (const _netnum_owner_car_t& car : pass.owner_cars) {
        used += car.places;
        log_line(SCAN, "netnumbase_scan_owner: %.*s[%.*s] uses %i places\n",
                 static_cast<int>(sizeof car.number), car.number,
                 static_cast<int>(access_field_size), owner, used);
    }
    if (!pass.whole) {
        log_line(SCAN, "netnumbase_scan_owner: Can't read from file %s\n", path);
        return 0;
    }
    return 1;
}

} // namespace

// The records come from another service's writes and may be damaged, so
// their text fields are compared and kept within their own bytes only.
void netnum_pass(int fd, const char* number, const char* owner, _netnum_pass_t* pass) {
    const char first_of_number = number[0];
    const char first_of_owner = owner[0];
    const bool counting = first_of_owner != '\0';
    _netnum_rec_t block[PASS_RECORDS];
    long offset = 0;
    for (;;) {
        bool failed = false;
        // A torn record at the end is no car's record.
        const size_t count = read_block(fd, block, &failed) / sizeof *block;
        for (size_t i = 0; i < count; ++i, offset += static_cast<long>(sizeof *block)) {
            const _netnum_rec_t& rec = block[i];
            if (same_text(rec.number, first_of_number, number, sizeof rec.number)) {
                if (pass->offset < 0) {
                    pass->offset = offset;
                    pass->car = rec;
                }
            } else if (counting && same_text(rec.owner, first_of_owner, owner, sizeof rec.owner)) {
                _netnum_owner_car_t car;
                memcpy(car.number, rec.number, sizeof car.number);
                car.places = rec.places;
                pass->owner_cars.push_back(car);
            }
        }
        if (failed || count < PASS_RECORDS) {
            pass->whole = !failed;
            return;
        }
    }
}

int netnum_count_owner(const _netnum_pass_t& pass, const char* path, int& used, const char* owner) {
    return owner_named(owner) ? count_places(pass, path, used, owner) : 0;
}
