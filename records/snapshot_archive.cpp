#include "records/snapshot_archive.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "records/external_program.h"
#include "support/journal_file.h"
#include "support/log.h"
#include "support/process_values.h"
#include "support/support_routines.h"

// The one call from a subsystem up into core/: a storage switched on or off
// counts from the next passage, so the archive reads the mount points again
// for every passage instead of keeping the start-up's.
#include "core/config.h"

namespace {

// Puts a snapshot JPEG under its final name whole or not at all, for the
// programs that read the archive and the latest snapshot while the service
// writes them.

bool write_all(int fd, const unsigned char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = TEMP_FAILURE_RETRY(write(fd, bytes, size));
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Writes the `length` bytes of `jpeg` (none when `length` is 0 or less) to
// `temporary`, a file made anew (whatever stood under that name goes), flushes them to the storage
// and renames the file to `path`. A write or rename that fails removes the temporary file and
// leaves `path` as it was. 0 when the snapshot is in place.
int write_snapshot(const char* path, const char* temporary, const unsigned char* jpeg,
                   long length) {
    // Made anew, never opened as found: a link or a second hard link put in
    // the temporary's place would have the JPEG written into its target.
    // The name is the service's own, so whatever stands there goes.
    unlink(temporary);
    const int fd = TEMP_FAILURE_RETRY(
        open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd < 0)
        return -1;
    const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
    // Without the fsync a power cut after the rename can leave the final
    // name on an empty or partly written file.
    bool whole = write_all(fd, jpeg, size) && fsync(fd) == 0;
    whole = close(fd) == 0 && whole;
    if (!whole) {
        // A partial JPEG is worse than none: readers take whatever stands
        // under the final name for a complete picture.
        unlink(temporary);
        return -1;
    }
    if (rename(temporary, path) != 0) {
        // Every passage has a name of its own, so nothing would ever
        // overwrite or remove the temporary file: it would only fill the
        // storage.
        unlink(temporary);
        return -1;
    }
    return 0;
}

// Removes the temporary snapshots ("*.jpeg.tmp") that a power cut left in
// `folder`. Only the process that archives into the folder may call it,
// before its first snapshot there.
void remove_stale_snapshots(const char* folder) {
    DIR* listing = opendir(folder);
    if (listing == nullptr)
        return;
    static const char ending[] = ".jpeg.tmp";
    const size_t ending_length = sizeof ending - 1;
    // The 64-bit forms: on a 32-bit board a folder's position cookies or a
    // file's numbers may not fit the plain ones, which then end the listing.
    while (const dirent64* entry = readdir64(listing)) {
        const size_t length = strlen(entry->d_name);
        struct stat64 status;
        // Only plain files: the service makes nothing else under such names.
        if (length > ending_length &&
            memcmp(entry->d_name + length - ending_length, ending, ending_length) == 0 &&
            fstatat64(dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode))
            unlinkat(dirfd(listing), entry->d_name, 0);
    }
    closedir(listing);
}

using path_t = char[4096];
constexpr int storages = sizeof gv_mountpoints / sizeof gv_mountpoints[0];

// False when the path does not fit: a cut path can name another file that
// exists (a shorter mount point, a shorter name), so the step is skipped.
__attribute__((format(printf, 2, 3))) bool build_path(path_t& path, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int length = vsnprintf(path, sizeof path, fmt, ap);
    va_end(ap);
    return length >= 0 && static_cast<size_t>(length) < sizeof path;
}

// The plate as it may stand in a file name: the wildcards "?" and "*" are
// not wanted in names that people and scripts handle.
void plate_for_names(const _parking_rec_t& rec, char (&plate)[sizeof rec.number + 1]) {
    const size_t length = strnlen(rec.number, sizeof rec.number);
    for (size_t i = 0; i < length; ++i)
        plate[i] = rec.number[i] == '*' || rec.number[i] == '?' ? '-' : rec.number[i];
    plate[length] = '\0';
}

// A power cut while a snapshot is written leaves its temporary file, and no
// later passage has that name to overwrite it. Whatever such files lie in a
// folder when this process first archives into it are left by a cut, so
// they go then, once: a listing on every passage would cost too much.
// Each storage keeps the last folder cleared for it; no folder is cleared
// twice while any storage still remembers it.
path_t cleared[storages];

void forget_cut_snapshots(int storage, const char* folder) {
    for (const path_t& done : cleared) {
        if (strcmp(done, folder) == 0)
            return;
    }
    snprintf(cleared[storage], sizeof cleared[storage], "%s", folder);
    remove_stale_snapshots(folder);
}

// One mount point: its JPEG, then the record and the journal line. Without a
// writable jpegdata folder the storage is taken as absent and gets nothing.
void archive_on(int storage, const char* mountpoint, const _parking_rec_t& rec, const char* name,
                const char* csv_line, const unsigned char* jpeg, long length) {
    path_t folder;
    if (!writable_jpegdata(mountpoint, folder))
        return;

    forget_cut_snapshots(storage, folder);
    path_t jpeg_path;
    path_t temporary;
    if (build_path(jpeg_path, "%s/%s", folder, name) && build_path(temporary, "%s.tmp", jpeg_path))
        write_snapshot(jpeg_path, temporary, jpeg, length);

    const int mount_width = static_cast<int>(sizeof gv_mountpoints[0]);
    const int id_width = static_cast<int>(sizeof gv_deviceid);
    path_t journal;
    if (build_path(journal, "%.*s/%.*s/%s", mount_width, mountpoint, id_width, gv_deviceid,
                   gv_passbase))
        journal_append_record(journal, &rec, sizeof rec, "save_jpeg");
    if (build_path(journal, "%.*s/%.*s/%s", mount_width, mountpoint, id_width, gv_deviceid,
                   gv_passbase_csv))
        journal_append_line(journal, csv_line, "save_jpeg");
}

} // namespace

bool writable_jpegdata(const char* mountpoint, char (&folder)[4096]) {
    return build_path(folder, "%.*s/%.*s/jpegdata", static_cast<int>(sizeof gv_mountpoints[0]),
                      mountpoint, static_cast<int>(sizeof gv_deviceid), gv_deviceid) &&
           access(folder, W_OK) == 0;
}

void snapshot_name(const _parking_rec_t& rec, char (&name)[snapshot_name_size]) {
    // The name's time stamp is UTC, so names sort in passage order all year.
    char stamp[32] = {};
    get_cnv_date_time_str_ext(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", 0, &rec.time);
    char plate[sizeof rec.number + 1];
    plate_for_names(rec, plate);
    snprintf(name, sizeof name, "%s_%s.jpeg", stamp, plate);
}

void save_jpeg(_parking_rec_t rec, const unsigned char* jpeg, long length) {
    char name[snapshot_name_size];
    snapshot_name(rec, name);
    // The journal line shows local time for people.
    char date_time[30] = {};
    get_cnv_date_time_str_ext(date_time, sizeof date_time, "%d-%m-%Y;%H:%M:%S", 1, &rec.time);

    // in_list and access as unsigned bytes: an admitted exit shows 255.
    char line[512];
    snprintf(line, sizeof line, "%s;%.*s;%.*s;%d;%d;%.*s;%.*s;%s", date_time,
             static_cast<int>(sizeof gv_deviceid), gv_deviceid, static_cast<int>(sizeof rec.number),
             rec.number, rec.in_list, static_cast<uint8_t>(rec.access),
             static_cast<int>(sizeof rec.text), rec.text, static_cast<int>(sizeof rec.summary),
             rec.summary, name);
    char csv_line[sizeof line + 1];
    snprintf(csv_line, sizeof csv_line, "%s\n", line);

    // Started before this passage's files are written: the program may still
    // find the previous passage's latest snapshot, never a half-written one.
    start_external_program(line);

    path_t temporary;
    if (build_path(temporary, "%s.tmp", gv_last_recognized_jpeg))
        write_snapshot(gv_last_recognized_jpeg, temporary, jpeg, length);

    // Read for every passage, so a storage switched on or off in the
    // configuration counts from the next car on.
    get_mountpoints();
    for (int storage = 0; storage < storages; ++storage) {
        if (gv_mountpoints[storage][0] != '\0')
            archive_on(storage, gv_mountpoints[storage], rec, name, csv_line, jpeg, length);
    }
}

void check_archive_settings() {
    const size_t id_length = strnlen(gv_deviceid, sizeof gv_deviceid);
    for (size_t i = 0; i < id_length; ++i) {
        const unsigned char c = static_cast<unsigned char>(gv_deviceid[i]);
        if (c == ';' || c < 0x20 || c > 0x7e) {
            LOG("device id \"%.*s\" holds ';' or a byte outside printable ASCII: the CSV "
                "journals will show wrong columns",
                static_cast<int>(id_length), gv_deviceid);
            break;
        }
    }
    get_mountpoints();
    for (const char* mountpoint : gv_mountpoints) {
        path_t folder;
        if (mountpoint[0] != '\0' && !writable_jpegdata(mountpoint, folder))
            LOG("storage %.*s is switched on, but %s is missing or not writable: nothing is "
                "archived there",
                static_cast<int>(sizeof gv_mountpoints[0]), mountpoint, folder);
    }
}
