// Puts a snapshot JPEG under its final name whole or not at all, for the
// programs that read the archive and the latest snapshot while the service
// writes them.
#pragma once

// Writes the `length` bytes of `jpeg` (none when `length` is 0 or less) to
// `temporary`, a file made anew (whatever stood under that name goes), flushes them to the storage
// and renames the file to `path`. A write or rename that fails removes the temporary file and
// leaves `path` as it was. 0 when the snapshot is in place.
int write_snapshot(const char* path, const char* temporary, const unsigned char* jpeg, long length);

// Removes the temporary snapshots ("*.jpeg.tmp") that a power cut left in
// `folder`. Only the process that archives into the folder may call it,
// before its first snapshot there.
void remove_stale_snapshots(const char* folder);
