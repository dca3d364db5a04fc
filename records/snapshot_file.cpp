#include "records/snapshot_file.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

} // namespace

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
