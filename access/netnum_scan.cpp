#include "access/netnum_scan.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unistd.h>

#include "support/log.h"

namespace {

constexpr char scan_owner_name[] = "netnumbase_scan_owner";

// Records per read: as many whole ones as 256 KiB holds, so every read starts
// on a record and a journal of many cars costs few reads. Each read call
// costs something of its own beside its bytes: reads of 256 KiB take a
// tenth less than the same bytes in 64 KiB reads, while larger ones gain
// nothing more.
constexpr size_t pass_records = 262144 / sizeof(_netnum_rec_t);

// A text looked for in a fixed field of the records, prepared once a pass.
// Two fields are the same text when their first `length` bytes are: the
// text's own and its terminator, or the whole field when the text fills it
// (strncmp over the field's size says the same). Most records differ from
// it in the first byte, and most of the others within the first eight,
// which one word compares: owners' names often share a first letter, and a
// library call for each would cost more than all the rest of a pass.
struct field_key {
    char text[sizeof(_netnum_rec_t::owner)]; // zero-padded
    uint64_t head;                           // its first bytes, as loaded from a field
    uint64_t mask;                           // which of them count
    size_t length;
};

static_assert(sizeof(_netnum_rec_t::number) >= sizeof(uint64_t) &&
                  sizeof(_netnum_rec_t::owner) >= sizeof(uint64_t),
              "a field holds the word compared first");

// `text` for fields of `size` bytes.
field_key prepared_key(const char* text, size_t size) {
    field_key key;
    memset(&key, 0, sizeof key);
    const size_t used = strnlen(text, size);
    memcpy(key.text, text, used);
    key.length = used < size ? used + 1 : size;
    unsigned char mask[sizeof key.mask] = {};
    memset(mask, 0xff, key.length < sizeof mask ? key.length : sizeof mask);
    memcpy(&key.mask, mask, sizeof mask);
    memcpy(&key.head, key.text, sizeof key.head);
    key.head &= key.mask;
    return key;
}

// Whether `field` holds the text of `key`. Kept out of the pass's loop,
// which it would otherwise crowd: its registers go to the work of every
// record, while this runs for few.
[[gnu::noinline]] bool same_field(const char* field, const field_key& key) {
    uint64_t head;
    memcpy(&head, field, sizeof head);
    const size_t rest = key.length > sizeof head ? key.length - sizeof head : 0;
    return ((head ^ key.head) & key.mask) == 0 &&
           (rest == 0 || memcmp(field + sizeof head, key.text + sizeof head, rest) == 0);
}

// With `first`, the text's first byte, at hand: the compiler keeps it in a
// register, where it cannot keep the key.
inline bool same_text(const char* field, char first, const field_key& key) {
    return field[0] == first && same_field(field, key);
}

// Reads until `block` is full, the file ends or a read fails (`*failed`):
// the bytes read.
size_t read_block(int fd, _netnum_rec_t* block, bool* failed) {
    char* bytes = reinterpret_cast<char*>(block);
    const size_t size = pass_records * sizeof *block;
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
        log_line(scan_owner_name, "netnumbase_scan_owner: no owner\n");
        return false;
    }
    log_line(scan_owner_name, "netnumbase_scan_owner: searching for %.*s\n",
             static_cast<int>(access_field_size), owner);
    return true;
}

// The count of the owner's cars that `pass` met, said in file order, each
// with the running total.
int count_places(const _netnum_pass_t& pass, const char* path, int& used, const char* owner) {
    used = 0;
    for (const _netnum_owner_car_t& car : pass.owner_cars) {
        used += car.places;
        log_line(scan_owner_name, "netnumbase_scan_owner: %.*s[%.*s] uses %i places\n",
                 static_cast<int>(sizeof car.number), car.number,
                 static_cast<int>(access_field_size), owner, used);
    }
    if (!pass.whole) {
        log_line(scan_owner_name, "netnumbase_scan_owner: Can't read from file %s\n", path);
        return 0;
    }
    return 1;
}

} // namespace

// The records come from another service's writes and may be damaged, so
// their text fields are compared and kept within their own bytes only.
void netnum_pass(int fd, const char* number, const char* owner, _netnum_pass_t* pass) {
    const field_key car_key = prepared_key(number, sizeof pass->car.number);
    const field_key owner_key = prepared_key(owner, sizeof pass->car.owner);
    const char first_of_number = car_key.text[0];
    const char first_of_owner = owner_key.text[0];
    const bool counting = first_of_owner != '\0';
    _netnum_rec_t block[pass_records];
    long offset = 0;
    for (;;) {
        bool failed = false;
        // A torn record at the end is no car's record.
        const size_t count = read_block(fd, block, &failed) / sizeof *block;
        for (size_t i = 0; i < count; ++i, offset += static_cast<long>(sizeof *block)) {
            const _netnum_rec_t& rec = block[i];
            if (same_text(rec.number, first_of_number, car_key)) {
                if (pass->offset < 0) {
                    pass->offset = offset;
                    pass->car = rec;
                }
            } else if (counting && same_text(rec.owner, first_of_owner, owner_key)) {
                _netnum_owner_car_t car;
                memcpy(car.number, rec.number, sizeof car.number);
                car.places = rec.places;
                pass->owner_cars.push_back(car);
            }
        }
        if (failed || count < pass_records) {
            pass->whole = !failed;
            return;
        }
    }
}

int netnum_count_owner(const _netnum_pass_t& pass, const char* path, int& used, const char* owner) {
    return owner_named(owner) ? count_places(pass, path, used, owner) : 0;
}
