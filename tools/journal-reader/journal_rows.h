// What the journal reader takes out of the service's journals: one struct per
// kind of row, with the texts already in UTF-8 and the times in seconds since
// the epoch, so that every way of showing them (a table, CSV, a report)
// starts from the same facts, whichever of a journal's two files they came
// from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The files the service writes, told apart by name or named explicitly.
enum class JournalKind {
    OCCUPANCY,       // netnumbase.tpn, 56-byte records
    PASS_RECORDS,    // netpassbase.tpn, 184-byte records
    PASS_LINES,      // netpassbase.csv, text lines
    ARCHIVE_RECORDS, // <mount point>/<device id>/passbase.tpp, 116-byte records
    ARCHIVE_LINES,   // <mount point>/<device id>/passbase.csv, text lines
};

// A car in the occupancy journal.
struct OccupancyRow {
    std::string number;
    std::string owner; // empty: the car's access entry named none
    int places;        // held now: 1 inside, 0 gone
    int64_t in_time;   // last admitted entry; 0 if none
    int64_t out_time;  // last exit; 0 if none
};

// A decision in the pass journal.
struct PassRow {
    int64_t time;
    std::string number;
    int kind; // plate-kind byte
    int in_list;
    int access; // 1 or -1 (the barrier's direction) when admitted, else 0
    std::string message;
    std::string info; // the access entry's owner, places and time limit
    int by_button;    // 1 when the operator's photo request was pending
    std::string deviceid;
};

// A passage in a mount point's archive.
struct ArchiveRow {
    int64_t time;
    std::string deviceid;
    std::string number;
    int kind; // -1 where the file does not keep it (the text lines)
    int in_list;
    int access; // as in PassRow: an admitted exit is -1 in both files
    std::string text;
    std::string summary;
    std::string jpeg; // the snapshot's name in <device id>/jpegdata
};
