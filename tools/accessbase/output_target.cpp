#include "tools/accessbase/output_target.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/accessbase/access_file.h"

namespace {

// As many links as the kernel itself follows before it gives up.
const int most_links = 40;

int write_directly(const std::string& path, const std::string& bytes, std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    // A device may report a failed write only when it is closed.
    const bool closed = fd >= 0 && close(fd) == 0;
    if (done < bytes.size() || !closed) {
        *error = "cannot write " + path + ": " + strerror(errno != 0 ? errno : EIO);
        return -1;
    }
    return 0;
}

} // namespace

int resolve_links(const std::string& path, std::string* target, std::string* error) {
    std::string at = path;
    for (int followed = 0; followed <= most_links; ++followed) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = at;
            return 0;
        }
        char link[PATH_MAX];
        const ssize_t length = readlink(at.c_str(), link, sizeof link - 1);
        if (length < 0) {
            *error = "cannot read the link " + at + ": " + strerror(errno);
            return -1;
        }
        const std::string points_to(link, static_cast<size_t>(length));
        const size_t slash = at.rfind('/');
        at = points_to[0] == '/' || slash == std::string::npos
                 ? points_to
                 : at.substr(0, slash + 1) + points_to;
    }
    *error = path + ": too many levels of symbolic links";
    return -1;
}

int write_output(const std::string& path, const std::string& bytes, std::string* error) {
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        *error = path + " is a folder";
        return -1;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        errno = 0;
        return write_directly(path, bytes, error);
    }
    std::string target;
    if (resolve_links(path, &target, error) != 0)
        return -1;
    return replace_file(target, bytes, error);
}
