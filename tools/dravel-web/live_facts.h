// What the live page shows, gathered from the files the service keeps: the
// preview's age, this board's last passages, the cars inside with their
// limits, and the storages.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tools/journal-reader/journal_rows.h"

// The preview counts as live for this long after it was last written: the
// service writes it about once a second while the camera delivers.
constexpr int PREVIEW_FRESH_SECONDS = 5;

// The preview's bytes when it is a regular file (links followed) written
// within PREVIEW_FRESH_SECONDS of `now`; -1 when it is missing or old.
int fresh_preview(const std::string& path, time_t now, std::string* jpeg);

struct LivePassage {
    PassRow pass;
    std::string snapshot; // its name in the first storage's jpegdata; empty: none there
};

// The last `count` passages of the board `deviceid`, newest first, read
// from the end of the pass journal backwards. At most LOOK_BACK records are
// read, so that a board whose neighbour did all the work of a year still
// answers at once.
constexpr size_t LOOK_BACK = 4096;
std::vector<LivePassage> last_passages(const std::string& journal, const std::string& deviceid,
                                       const std::string& jpegdata, size_t count);

struct InsideCar {
    OccupancyRow car;
    int32_t max_stay; // seconds, from the first matching access entry; 0: no limit
};

// The cars that hold a place now, in journal order, each with its limit.
std::vector<InsideCar> cars_inside_now(const std::string& journal, const std::string& access_base);

struct StorageFacts {
    std::string mountpoint;
    bool known;         // false: its free space cannot be told
    uint64_t free_mib;  // free to the service's user
    std::string oldest; // the oldest snapshot's name; empty: none
};

// Each enabled storage mount point of gv_mountpoints with this board's
// jpegdata folder.
std::vector<StorageFacts> storage_facts(const std::string& deviceid);

// The jpegdata folder of the first enabled storage; empty when none is.
std::string first_jpegdata(const std::string& deviceid);

// Whether `name` is a snapshot's name, as the service makes them, and
// nothing else: no folder in it.
bool snapshot_name_ok(const std::string& name);
