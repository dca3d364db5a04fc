#include "access/access_base.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void copy_field(char* field, const char* from, size_t len) {
    if (len > ACCESS_FIELD_SIZE - 1)
        len = ACCESS_FIELD_SIZE - 1;
    memcpy(field, from, len);
    field[len] = '\0';
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

void split_access_fields(const char* text, size_t len, char separator,
                         char (*fields)[ACCESS_FIELD_SIZE], int max_fields) {
    for (int i = 0; i < max_fields; ++i)
        fields[i][0] = '\0';
    len = strnlen(text, len);
    int filled = 0;
    while (filled < max_fields) {
        const char* end = static_cast<const char*>(memchr(text, separator, len));
        if (end == nullptr) {
            if (len > 0)
                copy_field(fields[filled], text, len);
            return;
        }
        size_t taken = static_cast<size_t>(end - text);
        copy_field(fields[filled++], text, taken);
        text += taken + 1;
        len -= taken + 1;
    }
}

void strhmtime(short* hours, short* minutes, const char* text) {
    char parts[2][ACCESS_FIELD_SIZE];
    split_access_fields(text, strlen(text), ':', parts, 2);
    *hours = static_cast<short>(decimal_value(parts[0], SHRT_MIN, SHRT_MAX));
    *minutes = static_cast<short>(decimal_value(parts[1], SHRT_MIN, SHRT_MAX));
}

void parse_access_info(_access_entry_t* entry, const char* info, size_t len) {
    char fields[3][ACCESS_FIELD_SIZE];
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
