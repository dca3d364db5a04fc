// The snapshot archive: for every passage the JPEG, the record and a journal
// line on each enabled storage mount point, the latest JPEG in
// "/tmp/last_recognized.jpeg", and the external program started with the
// journal line. Every failure here only skips its own step and is silent;
// only an external program that cannot be run is logged (external_program.h),
// and check_archive_settings names at start-up what would keep a storage or
// the journals' columns from working.
#pragma once

#include "records/parking_rec.h"

// `jpeg` is the passage's JPEG of `length` bytes, owned by the caller; a
// length of 0 or less archives the passage with empty JPEG files.
void save_jpeg(_parking_rec_t rec, const unsigned char* jpeg, long length);

// Start-up: one line for a device id that holds ";" or a byte outside
// printable ASCII (it would split or garble the columns of both CSV
// journals), and one for each storage that is switched on but whose
// "DEVICE/jpegdata" folder is missing or not writable (a mistyped device id,
// say): save_jpeg skips such a storage without a word.
void check_archive_settings();
