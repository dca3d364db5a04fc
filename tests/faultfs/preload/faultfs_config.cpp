#include <cerrno>
#include <climits>
#include <cstdlib>
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

int op_named(const char* name) {
    for (int op = 0; op < FAULTFS_OP_COUNT; ++op) {
        if (strcmp(name, OP_NAMES[op]) == 0)
            return op;
    }
    return -1;
}

bool empty(const char* text) {
    return text == nullptr || text[0] == '\0';
}

// A positive decimal number, or -1.
long positive(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long value = strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value > 0 ? value : -1;
}

int error_named(const char* name) {
    static const struct {
        const char* name;
        int error;
    } known[] = {{"EIO", EIO}, {"ENOSPC", ENOSPC}, {"EACCES", EACCES}};
    for (const auto& each : known) {
        if (strcmp(name, each.name) == 0)
            return each.error;
    }
    const long number = positive(name);
    return number > 0 && number < 4096 ? static_cast<int>(number) : -1;
}

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

bool faultfs_partial(void) {
    return settings.partial;
}

int faultfs_configure(const char* op, const char* nth, const char* error, const char* paths,
                      const char* partial) {
    static settings_t fresh;
    fresh = settings_t{};
    fresh.armed_op = -1;
    // Descriptors stay watched: a stream opened before may still be used.
    memcpy(fresh.watched_fd, settings.watched_fd, sizeof fresh.watched_fd);
    settings.active = false;
    if (!empty(paths) && !take_prefixes(paths, &fresh))
        return -1;
    if (!empty(op)) {
        fresh.armed_op = op_named(op);
        fresh.nth = empty(nth) ? -1 : positive(nth);
        fresh.error = empty(error) ? -1 : error_named(error);
        if (fresh.armed_op < 0 || fresh.nth < 0 || fresh.error < 0)
            return -1;
    }
    fresh.partial = !empty(partial) && strcmp(partial, "0") != 0;
    fresh.active = fresh.prefix_count > 0;
    settings = fresh;
    return 0;
}

void faultfs_off(void) {
    settings.active = false;
}

long faultfs_count(const char* op) {
    const int index = op != nullptr ? op_named(op) : -1;
    return index < 0 ? -1 : settings.counts[index];
}

int faultfs_injected(void) {
    return settings.injected ? 1 : 0;
}
