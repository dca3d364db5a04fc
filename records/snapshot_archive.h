// The snapshot archive: for every passage the JPEG, the record and a journal
// line on each enabled storage mount point, the latest JPEG in
// "/tmp/last_recognized.jpeg", and the external program started with the
// journal line. Every failure here only skips its own step and is silent.
#pragma once

#include "records/parking_rec.h"

// `jpeg` is the passage's JPEG of `length` bytes, owned by the caller; a
// length of 0 or less archives the passage with empty JPEG files.
void save_jpeg(_parking_rec_t rec, const unsigned char* jpeg, long length);
