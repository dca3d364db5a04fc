#include "tools/archive-keeper/snapshot_names.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const char STAMP_FORM[] = "dddd-dd-dd_dd-dd-dd_";
const size_t STAMP_LENGTH = sizeof STAMP_FORM - 1;

bool ends_with(const std::string& text, const char* end, size_t length) {
    return text.size() >= length && text.compare(text.size() - length, length, end) == 0;
}

// The decimal number of the `digits` digits at `at`.
int number_at(const std::string& name, size_t at, size_t digits) {
    int number = 0;
    for (size_t i = at; i < at + digits; ++i)
        number = number * 10 + (name[i] - '0');
    return number;
}

} // namespace

bool is_snapshot_name(const std::string& name, int64_t* seconds) {
    static const char ending[] = ".jpeg";
    if (name.size() < STAMP_LENGTH + sizeof ending - 1 ||
        !ends_with(name, ending, sizeof ending - 1))
        return false;
    for (size_t i = 0; i < STAMP_LENGTH; ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (STAMP_FORM[i] == 'd' ? !digit : name[i] != STAMP_FORM[i])
            return false;
    }
    if (seconds != nullptr) {
        struct tm broken = {};
        broken.tm_year = number_at(name, 0, 4) - 1900;
        broken.tm_mon = number_at(name, 5, 2) - 1;
        broken.tm_mday = number_at(name, 8, 2);
        broken.tm_hour = number_at(name, 11, 2);
        broken.tm_min = number_at(name, 14, 2);
        broken.tm_sec = number_at(name, 17, 2);
        *seconds = static_cast<int64_t>(timegm(&broken));
    }
    return true;
}

bool is_temporary_snapshot(const std::string& name) {
    static const char ending[] = ".jpeg.tmp";
    return ends_with(name, ending, sizeof ending - 1) &&
           is_snapshot_name(name.substr(0, name.size() - 4));
}

int list_snapshots(const std::string& folder, std::vector<std::string>* snapshots,
                   std::vector<std::string>* temporaries) {
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return -1;
    snapshots->clear();
    temporaries->clear();
    errno = 0;
    // The 64-bit forms: on a 32-bit board a folder's position cookies may
    // not fit the plain ones, which then end the listing early.
    while (const dirent64* entry = readdir64(listing)) {
        const std::string name = entry->d_name;
        const bool snapshot = is_snapshot_name(name);
        if (!snapshot && !is_temporary_snapshot(name))
            continue;
        // Only where the listing cannot tell the kind is the file looked at.
        struct stat64 status;
        const bool plain =
            entry->d_type == DT_REG ||
            (entry->d_type == DT_UNKNOWN &&
             fstatat64(dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISREG(status.st_mode));
        if (plain)
            (snapshot ? snapshots : temporaries)->push_back(name);
        errno = 0;
    }
    const int error = errno;
    closedir(listing);
    std::sort(snapshots->begin(), snapshots->end());
    std::sort(temporaries->begin(), temporaries->end());
    errno = error;
    return error == 0 ? 0 : -1;
}
