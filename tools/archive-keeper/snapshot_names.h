// The snapshots of a storage's "jpegdata" folder as the service names them:
// "2009-03-14_06-05-09_A-23BC.jpeg", the passage time in UTC first, so the
// order of the names is the order of the passages; and "NAME.jpeg.tmp"
// while one is written. Whatever else lies there is no snapshot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Whether `name` begins with a time stamp and ends in ".jpeg"; `seconds`,
// when given, gets the stamp's time.
bool is_snapshot_name(const std::string& name, int64_t* seconds = nullptr);

// Whether `name` is a snapshot's temporary file.
bool is_temporary_snapshot(const std::string& name);

// The plain files of `folder` that are snapshots and temporary snapshots,
// each list sorted, the oldest first, from one listing and no look at any
// file. 0, or -1 with errno when the folder cannot be listed.
int list_snapshots(const std::string& folder, std::vector<std::string>* snapshots,
                   std::vector<std::string>* temporaries);
