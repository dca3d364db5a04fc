// The snapshot archive: for every passage the JPEG, the record and a journal
// line on each enabled storage mount point, the latest JPEG in
// "/tmp/last_recognized.jpeg", and the external program started with the
// journal line. Every failure here only skips its own step and is silent;
// only an external program that cannot be run is logged (external_program.h),
// and check_archive_settings names at start-up what would keep a storage or
// the journals' columns from working.
#pragma once

#include <cstddef>
#include <cstdint>

// The passage record. It is appended byte for byte to "passbase.tpp" and
// copied to the front of every passage block of the shared-memory stream, so
// other programs read it by offset: 116 bytes, little-endian, no gaps. The
// fields fall on their natural alignment, so no packing is needed.
struct _parking_rec_t {
    int32_t time;     // passage time, seconds since the epoch (UTC)
    char number[13];  // plate text, zero-terminated and zero-padded
    uint8_t kind;     // plate-kind byte
    uint8_t in_list;  // 1 when the number matched the access base
    int8_t access;    // 1 entry / -1 exit when admitted, else 0
    char text[64];    // CP1251 display text; may fill all 64 bytes
    char summary[32]; // CP1251 owner summary, zero-terminated
};

static_assert(sizeof(_parking_rec_t) == 116, "_parking_rec_t is 116 bytes");
static_assert(offsetof(_parking_rec_t, time) == 0, "layout");
static_assert(offsetof(_parking_rec_t, number) == 4, "layout");
static_assert(offsetof(_parking_rec_t, kind) == 17, "layout");
static_assert(offsetof(_parking_rec_t, in_list) == 18, "layout");
static_assert(offsetof(_parking_rec_t, access) == 19, "layout");
static_assert(offsetof(_parking_rec_t, text) == 20, "layout");
static_assert(offsetof(_parking_rec_t, summary) == 84, "layout");

// `jpeg` is the passage's JPEG of `length` bytes, owned by the caller; a
// length of 0 or less archives the passage with empty JPEG files.
void save_jpeg(_parking_rec_t rec, const unsigned char* jpeg, long length);

// Start-up: one line for a device id that holds ";" or a byte outside
// printable ASCII (it would split or garble the columns of both CSV
// journals), and one for each storage that is switched on but whose
// "DEVICE/jpegdata" folder is missing or not writable (a mistyped device id,
// say): save_jpeg skips such a storage without a word.
void check_archive_settings();

// The name of the passage's JPEG: "S_P.jpeg" with S the passage time in UTC
// ("2009-03-14_06-05-09") and P the number with "?" and "*" turned into "-".
constexpr size_t snapshot_name_size = 64;
void snapshot_name(const _parking_rec_t& rec, char (&name)[snapshot_name_size]);

// The storage's "<mount point>/<device id>/jpegdata" folder into `folder`;
// false when it is missing or cannot be written, or its path does not fit.
bool writable_jpegdata(const char* mountpoint, char (&folder)[4096]);
