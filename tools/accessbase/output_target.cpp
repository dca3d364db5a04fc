#include "tools/accessbase/output_target.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/accessbase/access_file.h"
#include "tools/accessbase/tool_files.h"

namespace {

// As many links as the kernel itself follows before it gives up.
const int most_links = 40;

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

int write_output(const std::string& path, const std::vector<std::string>& inputs,
                 const std::string& bytes, std::string* error) {
    std::string why;
    if (check_output(path, inputs, &why) != 0) {
        *error = "will not write " + path + ": " + why;
        return -1;
    }
    std::string target;
    if (resolve_links(path, &target, error) != 0)
        return -1;
    return replace_file(target, bytes, error);
}
