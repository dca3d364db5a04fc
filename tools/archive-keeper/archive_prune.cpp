#include "tools/archive-keeper/archive_prune.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include "records/snapshot_archive.h"
#include "support/log.h"
#include "support/process_values.h"
#include "tools/archive-keeper/snapshot_names.h"

namespace {

const uint64_t MIB = 1024 * 1024;
// A temporary snapshot is written and renamed within a second; one that is
// a minute old was left by a power cut.
const int64_t TEMPORARY_GRACE = 60;
// The free space gained is reckoned from the blocks of the files removed,
// and measured again now and then: a file system may free space later or
// differently (compression, blocks shared with snapshots of its own).
const size_t MEASURE_EVERY = 256;

int measure_file_system(const char* folder, StorageSpace* space) {
    struct statvfs64 status;
    if (statvfs64(folder, &status) != 0)
        return -1;
    space->total = static_cast<uint64_t>(status.f_blocks) * status.f_frsize;
    space->free = static_cast<uint64_t>(status.f_bavail) * status.f_frsize;
    return 0;
}

int64_t system_time() {
    return static_cast<int64_t>(time(nullptr));
}

__attribute__((format(printf, 3, 4))) void tell(FILE* out, const char* func, const char* fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    log_line(func, "%s", text);
    fprintf(out, "%s\n", text);
}

uint64_t wanted_free(const KeeperLimits& limits, const StorageSpace& space) {
    const uint64_t share =
        space.total / 100 * static_cast<uint64_t>(limits.keep_free_percent) +
        space.total % 100 * static_cast<uint64_t>(limits.keep_free_percent) / 100;
    const uint64_t fixed = static_cast<uint64_t>(limits.keep_free_mb) * MIB;
    return share > fixed ? share : fixed;
}

// The snapshot name of the last whole record of "passbase.tpp" in
// `archive`; empty when there is none.
std::string last_passage_snapshot(const std::string& archive) {
    FILE* journal = fopen((archive + "/" + gv_passbase).c_str(), "rbe");
    if (journal == nullptr)
        return "";
    _parking_rec_t rec;
    std::string name;
    if (fseeko(journal, 0, SEEK_END) == 0) {
        const off_t records = ftello(journal) / static_cast<off_t>(sizeof rec);
        if (records > 0 &&
            fseeko(journal, (records - 1) * static_cast<off_t>(sizeof rec), SEEK_SET) == 0 &&
            fread(&rec, sizeof rec, 1, journal) == 1) {
            char snapshot[snapshot_name_size];
            snapshot_name(rec, snapshot);
            name = snapshot;
        }
    }
    fclose(journal);
    return name;
}

// One storage's pruning: what went and what it gained.
struct Pruning {
    int folder;
    bool dry_run;
    FILE* out;
    StorageSpace space;
    size_t removed = 0;
    uint64_t bytes = 0;
    size_t since_measured = 0;
    size_t failed = 0;
    int first_error = 0;

    // The stat of the one file removed: its blocks are the space it frees.
    void remove(const std::string& name) {
        struct stat64 status;
        if (fstatat64(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            (!dry_run && unlinkat(folder, name.c_str(), 0) != 0)) {
            first_error = failed++ == 0 ? errno : first_error;
            return;
        }
        if (dry_run)
            fprintf(out, "would remove %s\n", name.c_str());
        ++removed;
        bytes += static_cast<uint64_t>(status.st_size);
        space.free += static_cast<uint64_t>(status.st_blocks) * 512;
        ++since_measured;
    }

    // Measures again; false when the figure cannot be had, and the
    // reckoned one stands.
    bool measure(const char* path) {
        if (dry_run || since_measured == 0)
            return false;
        since_measured = 0;
        return keeper_world.measure(path, &space) == 0;
    }
};

} // namespace

KeeperWorld keeper_world = {measure_file_system, system_time};

KeepResult keep_storage(const char* mountpoint, const KeeperLimits& limits, bool dry_run,
                        FILE* out) {
    char path[4096];
    // Set for a path that does not fit, which the system never sees.
    errno = ENAMETOOLONG;
    if (!writable_jpegdata(mountpoint, path)) {
        const int error = errno;
        tell(out, __func__, "%s: missing or not writable, skipped: %d [%s]", path, error,
             strerror(error));
        return STORAGE_SKIPPED;
    }
    std::vector<std::string> snapshots, temporaries;
    Pruning pruning{-1, dry_run, out, {}};
    if (list_snapshots(path, &snapshots, &temporaries) != 0 ||
        keeper_world.measure(path, &pruning.space) != 0 ||
        (pruning.folder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0) {
        const int error = errno;
        tell(out, __func__, "%s: can't be read, skipped: %d [%s]", path, error, strerror(error));
        return STORAGE_SKIPPED;
    }
    const int64_t now = keeper_world.now();
    for (const std::string& name : temporaries) {
        struct stat64 status;
        if (fstatat64(pruning.folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            now - status.st_mtime >= TEMPORARY_GRACE)
            pruning.remove(name);
    }

    const std::string archive(path, strlen(path) - strlen("/jpegdata"));
    const std::string last_passage = last_passage_snapshot(archive);
    const uint64_t wanted = wanted_free(limits, pruning.space);
    const int64_t oldest_allowed = limits.max_age_days > 0
                                       ? now - static_cast<int64_t>(limits.max_age_days) * 86400
                                       : INT64_MIN;
    std::string oldest_kept;
    for (size_t i = 0; i < snapshots.size(); ++i) {
        const std::string& name = snapshots[i];
        int64_t taken = 0;
        is_snapshot_name(name, &taken);
        // The reckoned figure only says when to look at the true one.
        if (taken >= oldest_allowed && pruning.space.free >= wanted &&
            (!pruning.measure(path) || pruning.space.free >= wanted)) {
            if (oldest_kept.empty())
                oldest_kept = name;
            break;
        }
        const size_t failed = pruning.failed;
        if (i + 1 < snapshots.size() && name != last_passage)
            pruning.remove(name);
        if ((i + 1 == snapshots.size() || name == last_passage || pruning.failed > failed) &&
            oldest_kept.empty())
            oldest_kept = name;
        if (pruning.since_measured >= MEASURE_EVERY)
            pruning.measure(path);
    }
    pruning.measure(path);
    close(pruning.folder);

    const StorageSpace& space = pruning.space;
    const bool met = space.free >= wanted && pruning.failed == 0;
    char shortfall[160] = "";
    if (pruning.failed > 0)
        snprintf(shortfall, sizeof shortfall, ", %zu could not be removed: %d [%s]", pruning.failed,
                 pruning.first_error, strerror(pruning.first_error));
    else if (!met)
        snprintf(shortfall, sizeof shortfall, ", short of the %.1f MiB free wanted",
                 static_cast<double>(wanted) / MIB);
    tell(out, __func__, "%s: %s%zu %s %s, %llu bytes %s, %.1f MiB free (%llu%%), %s%s%s", path,
         dry_run ? "dry run: " : "", pruning.removed, pruning.removed == 1 ? "file" : "files",
         dry_run ? "would go" : "removed", static_cast<unsigned long long>(pruning.bytes),
         dry_run ? "to free" : "freed", static_cast<double>(space.free) / MIB,
         static_cast<unsigned long long>(space.total > 0 ? space.free * 100 / space.total : 0),
         oldest_kept.empty() ? "no snapshot kept" : "oldest kept ", oldest_kept.c_str(), shortfall);
    return met ? LIMITS_MET : LIMITS_NOT_MET;
}
