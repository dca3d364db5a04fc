#include <climits>
#include <cstring>

#include "tests/faultfs/preload/faultfs.h"
#include "tests/faultfs/preload/faultfs_state.h"

namespace {

const char* const OP_NAMES[FAULTFS_OP_COUNT] = {
    "open",  "fopen",  "read",      "fread", "write", "fwrite", "fflush",
    "fsync", "rename", "ftruncate", "fstat", "fcntl", "close",  "fclose",
};

constexpr int MAX_PREFIXES = 8;
constexpr int MAX_WATCHED_FD = 4096;

// Fixed arrays, not containers: the replaced functions run before and after
// every constructor and destructor of the program.
struct settings_t {
    bool active;
    int armed_op; // -1: only count
    long nth;
    int error;
    bool partial;
    bool injected;
    long counts[FAULTFS_OP_COUNT];
    int prefix_count;
    char prefixes[MAX_PREFIXES][PATH_MAX];
    bool watched_fd[MAX_WATCHED_FD];
};

settings_t settings;

// Splits `paths` at ':' into the prefixes, without their trailing slashes.
bool take_prefixes(const char* paths, settings_t* to) {
    for (const char* start = paths; *start != '\0';) {
        const char* colon = strchr(start, ':');
        size_t length = colon != nullptr ? static_cast<size_t>(colon - start) : strlen(start);
        const char* next = colon != nullptr ? colon + 1 : start + length;
        while (length > 1 && start[length - 1] == '/')
            --length;
        if (length > 0) {
            if (to->prefix_count == MAX_PREFIXES || length >= PATH_MAX)
                return false;
            memcpy(to->prefixes[to->prefix_count], start, length);
            to->prefixes[to->prefix_count][length] = '\0';
            ++to->prefix_count;
        }
        start = next;
    }
    return true;
}

// Whether `path` is `prefix` or lies below it; runs of slashes count as one,
// since the service joins folders that end in a slash with "%s/%s".
bool below(const char* path, const char* prefix) {
    while (*prefix != '\0') {
        if (*path != *prefix)
            return false;
        if (*path == '/') {
            while (path[1] == '/')
                ++path;
            while (prefix[1] == '/')
                ++prefix;
        }
        ++path;
        ++prefix;
    }
    return *path == '\0' || *path == '/' || prefix[-1] == '/';
}

} // namespace

bool faultfs_watched_path(const char* path) {
    if (!settings.active || path == nullptr)
        return false;
    for (int i = 0; i < settings.prefix_count; ++i) {
        if (below(path, settings.prefixes[i]))
            return true;
    }
    return false;
}

void faultfs_watch_fd(int fd, bool watched) {
    if (fd >= 0 && fd < MAX_WATCHED_FD)
        settings.watched_fd[fd] = watched;
}

bool faultfs_watched_fd(int fd) {
    return settings.active && fd >= 0 && fd < MAX_WATCHED_FD && settings.watched_fd[fd];
}

int faultfs_strike(faultfs_op_t op) {
    ++settings.counts[op];
    if (settings.injected || settings.armed_op != op || settings.counts[op] != settings.nth)
        return 0;
    settings.injected = true;
    return settings.error;
}

bool faultfs_partial() {
    return settings.partial;
}

bool faultfs_configure(int op, long nth, int error, const char* paths, bool partial) {
    static settings_t fresh;
    fresh = settings_t{};
    fresh.armed_op = op;
    fresh.nth = nth;
    fresh.error = error;
    fresh.partial = partial;
    // Descriptors stay watched: a stream opened before may still be used.
    memcpy(fresh.watched_fd, settings.watched_fd, sizeof fresh.watched_fd);
    settings.active = false;
    if (!take_prefixes(paths, &fresh))
        return false;
    fresh.active = fresh.prefix_count > 0;
    settings = fresh;
    return true;
}

void faultfs_off() {
    settings.active = false;
}

long faultfs_count(int op) {
    return settings.counts[op];
}

const char* faultfs_op_name(int op) {
    return OP_NAMES[op];
}

bool faultfs_injected() {
    return settings.injected;
}
