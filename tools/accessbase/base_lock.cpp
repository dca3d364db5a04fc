#include "tools/accessbase/base_lock.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/support_routines.h"
#include "tools/accessbase/access_file.h"

namespace {

// The six characters mkstemp puts in place of "XXXXXX".
bool temporary_suffix(const char* suffix) {
    if (strlen(suffix) != 6)
        return false;
    for (const char* c = suffix; *c != '\0'; ++c) {
        if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9')))
            return false;
    }
    return true;
}

} // namespace

BaseLock::~BaseLock() {
    if (fd >= 0)
        close(fd);
}

int lock_base(const std::string& target, int wait_seconds, BaseLock* lock, std::string* error) {
    const std::string path = target + ".lock";
    lock->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock->fd < 0) {
        *error = "cannot open the lock file " + path + ": " + strerror(errno);
        return -1;
    }
    const int64_t deadline = monotonic_ms() + static_cast<int64_t>(wait_seconds) * 1000;
    while (flock(lock->fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            *error = "cannot lock " + path + ": " + strerror(errno);
            return -1;
        }
        if (monotonic_ms() >= deadline) {
            *error = "another accessbase is editing " + target + " (it holds " + path +
                     "); gave up after " + std::to_string(wait_seconds) +
                     " s: try again, or give --wait with more seconds";
            return -1;
        }
        const timespec pause = {0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return 0;
}

void remove_left_temporaries(const std::string& target, std::vector<std::string>* removed) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string prefix =
        (slash == std::string::npos ? target : target.substr(slash + 1)) + TEMPORARY_INFIX;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = readdir(dir)) {
        if (strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0 ||
            !temporary_suffix(entry->d_name + prefix.size()))
            continue;
        const std::string path = (slash == std::string::npos ? "" : folder) + entry->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0)
            removed->push_back(path);
    }
    closedir(dir);
}
