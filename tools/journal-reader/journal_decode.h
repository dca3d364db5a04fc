// The fixed-size records of the journals, read into rows. The bytes come
// from another program, over a shared mount, perhaps torn by a power cut:
// every text is taken within its field, terminated or not, and a record
// whose fixed-range bytes hold what the service never writes is refused, so
// a foreign file is told apart instead of shown as nonsense.
#pragma once

#include <string>

#include "tools/journal-reader/journal_rows.h"

// Each takes one whole record: 0 and the row, or -1 with `why` saying what
// the service would never have written there.
int decode_occupancy(const unsigned char* bytes, OccupancyRow* row, std::string* why);
int decode_pass(const unsigned char* bytes, PassRow* row, std::string* why);
// An archive record does not hold its device's id: that is the name of the
// folder the archive lives in, given as `deviceid`.
int decode_archive(const unsigned char* bytes, const std::string& deviceid, ArchiveRow* row,
                   std::string* why);

// The name the archive gives the snapshot of a passage: the time in UTC and
// the number with its wildcards made harmless, "2009-03-14_06-05-09_A-23BC.jpeg".
// `number` is the record's raw field of `size` bytes.
std::string snapshot_name(int64_t time, const char* number, size_t size);
