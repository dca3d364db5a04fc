// The access base: the list of number patterns that may pass the barrier.
// Another program writes it as a file of fixed 116-byte records; the service
// loads it whole at start-up and again after SIGUSR1, and walks it in file
// order for every recognised number.
#pragma once

#include <cstddef>
#include <cstdint>

// One record of the file, byte for byte. The text fields are meant to be
// zero-terminated, but the file comes from another program, so every reader
// takes at most the field's width from them.
struct _access_rec_t {
    uint8_t reserved[2]; // the writing program's own; never interpreted here
    char number[10];     // pattern, `?` matches any one character
    int32_t period_from; // seconds since the epoch (UTC), inclusive
    int32_t period_to;   // seconds since the epoch (UTC), inclusive
    char info[32];       // "owner,places,HH:MM", CP1251
    char text[64];       // CP1251 display text, may hold a `}`
};

static_assert(sizeof(_access_rec_t) == 116, "_access_rec_t is 116 bytes");
static_assert(offsetof(_access_rec_t, reserved) == 0, "layout");
static_assert(offsetof(_access_rec_t, number) == 2, "layout");
static_assert(offsetof(_access_rec_t, period_from) == 12, "layout");
static_assert(offsetof(_access_rec_t, period_to) == 16, "layout");
static_assert(offsetof(_access_rec_t, info) == 20, "layout");
static_assert(offsetof(_access_rec_t, text) == 52, "layout");

// Width of every field split out of `info` and of the HH:MM parts; a field
// keeps at most one byte less so that it is always terminated.
constexpr size_t access_field_size = 32;

// The parsed `info` of the record at the same index.
struct _access_entry_t {
    char owner[access_field_size];         // empty: the entry names no owner
    int32_t places;                        // 0: no limit on places
    int32_t max_park_time;                 // seconds; 0: no limit
    char max_park_text[access_field_size]; // the time limit as written
};

// Replaces the loaded base (gv.access_base, gv.access_entries,
// gv.access_count) with the file's records. A file that cannot be opened
// keeps the previous base; a failed allocation leaves the base empty.
// Always 0.
int load_access_base(const char* path);

// Releases the loaded base and leaves it empty.
void free_access_base();

// Splits `text` (at most `len` bytes, ends early at a zero) at `separator`
// into at most `max_fields` fields of access_field_size bytes; text after the
// last field taken is ignored. Fields not reached are left empty.
void split_access_fields(const char* text, size_t len, char separator,
                         char (*fields)[access_field_size], int max_fields);

// Parses an `info` text (at most `len` bytes) into `entry`.
void parse_access_info(_access_entry_t* entry, const char* info, size_t len);

// Parses "H:M" into hours and minutes, each 0 when empty or not a number.
void strhmtime(short* hours, short* minutes, const char* text);

// 1 when `number` (zero-terminated, at most 12 characters) matches
// `pattern` (a record's number field: at most 10 bytes, terminated or not).
int car_number_cmp(const char* pattern, const char* number);
