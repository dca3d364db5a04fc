#include "access/access_base.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/gv.h"
#include "support/log.h"
#include "support/support_routines.h"

namespace {

// The new base replaces the old one only as a whole, so no decision ever
// sees records and entries (or a count) that do not belong together.
void install(_access_rec_t* records, _access_entry_t* entries, int32_t count) {
    free(gv.access_base);
    free(gv.access_entries);
    gv.access_base = records;
    gv.access_entries = entries;
    gv.access_count = count;
}

int log_size(long bytes) {
    return bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes);
}

// A directory opens for reading too, and then measures as an enormous size;
// anything but a plain file is refused as unreadable (errno tells why).
bool regular_file(FILE* file) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0)
        return false;
    if (S_ISREG(status.st_mode))
        return true;
    errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return false;
}

// A FIFO in the base's place must not hold the loop in open until a writer
// comes; whatever opens is then checked for a plain file. A link is followed:
// the base is only read, and may well live elsewhere.
FILE* open_base(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

// The file's size in bytes, or -1 when it cannot be measured.
long file_size(FILE* file) {
    if (fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = ftell(file);
    if (size < 0 || fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

// A field keeps at most one byte less than its width of the `len` bytes of
// its part, so that it stays terminated.
void take_field(char (&field)[access_field_size], const char* from, size_t len) {
    copy_field(field, sizeof field, from, std::min(len, sizeof field - 1));
}

// A decimal integer as atoi reads it (leading blanks, a sign, digits up to the
// first other character; 0 when there are none), but held within [low, high]
// instead of overflowing, so that x86 and the board agree on every text.
long long decimal_value(const char* text, long long low, long long high) {
    long long value = strtoll(text, nullptr, 10);
    if (value < low)
        return low;
    if (value > high)
        return high;
    return value;
}

} // namespace

void free_access_base() {
    install(nullptr, nullptr, 0);
}

int load_access_base(const char* path) {
    LOG("Loading access base from %s", path);
    FILE* file = open_base(path);
    if (file == nullptr || !regular_file(file)) {
        LOG("Can't open access base from %s: %s", path, strerror(errno));
        if (file != nullptr)
            fclose(file);
        return 0;
    }
    long size = file_size(file);
    if (size < 0) {
        LOG("Read from %s error", path);
        fclose(file);
        return 0;
    }
    // An empty file is a valid, empty base: nothing to allocate.
    _access_rec_t* records = nullptr;
    if (size > 0) {
        records = static_cast<_access_rec_t*>(malloc(static_cast<size_t>(size)));
        if (records == nullptr) {
            LOG("Can't realloc %d bytes", log_size(size));
            fclose(file);
            free_access_base();
            return 0;
        }
    }
    const long whole = size / static_cast<long>(sizeof(_access_rec_t));
    int32_t count = 0;
    while (count < whole && fread(&records[count], sizeof(_access_rec_t), 1, file) == 1)
        ++count;
    if (count < whole && ferror(file))
        LOG("Read from %s error", path);
    fclose(file);

    _access_entry_t* entries = nullptr;
    if (count > 0) {
        entries =
            static_cast<_access_entry_t*>(calloc(static_cast<size_t>(count), sizeof *entries));
        if (entries == nullptr) {
            LOG("Can't realloc %d bytes", log_size(static_cast<long>(count * sizeof *entries)));
            free(records);
            free_access_base();
            return 0;
        }
    }
    install(records, entries, count);
    for (int32_t i = 0; i < count; ++i) {
        const _access_rec_t& record = records[i];
        parse_access_info(&entries[i], record.info, sizeof record.info);
        LOG("Access: %.*s\n", static_cast<int>(strnlen(record.number, sizeof record.number)),
            record.number);
    }
    LOG("Allowed %d car number plates", count);
    return 0;
}

void split_access_fields(const char* text, size_t len, char separator,
                         char (*fields)[access_field_size], int max_fields) {
    for (int i = 0; i < max_fields; ++i)
        fields[i][0] = '\0';
    len = strnlen(text, len);
    int filled = 0;
    while (filled < max_fields) {
        const char* end = static_cast<const char*>(memchr(text, separator, len));
        if (end == nullptr) {
            if (len > 0)
                take_field(fields[filled], text, len);
            return;
        }
        size_t taken = static_cast<size_t>(end - text);
        take_field(fields[filled++], text, taken);
        text += taken + 1;
        len -= taken + 1;
    }
}

void strhmtime(short* hours, short* minutes, const char* text) {
    char parts[2][access_field_size];
    split_access_fields(text, strlen(text), ':', parts, 2);
    *hours = static_cast<short>(decimal_value(parts[0], SHRT_MIN, SHRT_MAX));
    *minutes = static_cast<short>(decimal_value(parts[1], SHRT_MIN, SHRT_MAX));
}

void parse_access_info(_access_entry_t* entry, const char* info, size_t len) {
    char fields[3][access_field_size];
    split_access_fields(info, len, ',', fields, 3);
    memset(entry, 0, sizeof *entry);
    memcpy(entry->owner, fields[0], sizeof entry->owner);
    entry->places = static_cast<int32_t>(decimal_value(fields[1], INT32_MIN, INT32_MAX));
    memcpy(entry->max_park_text, fields[2], sizeof entry->max_park_text);
    short hours = 0;
    short minutes = 0;
    strhmtime(&hours, &minutes, fields[2]);
    // At most 32767 * 60 + 32767 minutes: the product stays well inside 32 bits.
    entry->max_park_time = (static_cast<int32_t>(hours) * 60 + minutes) * 60;
}

int car_number_cmp(const char* pattern, const char* number) {
    // A `?` also accepts the number's terminator and the padding after it; the
    // number is never read past its terminator, whatever buffer holds it.
    bool number_ended = false;
    size_t i = 0;
    for (; i < sizeof(_access_rec_t::number) && pattern[i] != '\0'; ++i) {
        char have = number_ended ? '\0' : number[i];
        number_ended = have == '\0';
        if (pattern[i] != '?' && pattern[i] != have)
            return 0;
    }
    return number_ended || number[i] == '\0' ? 1 : 0;
}
