#include "tools/accessbase/access_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/accessbase/tool_files.h"

const char TEMPORARY_INFIX[] = ".tmp.";

namespace {

std::string failure(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + strerror(errno);
}

int write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return -1;
        done += static_cast<size_t>(written);
    }
    return 0;
}

// The service may run as another user than the editor (root, as a rule):
// the file it reads must stay theirs. Before the mode is set, since a change
// of owner clears the set-id bits.
int keep_owner(int fd, const struct stat& old) {
    struct stat made;
    if (fstat(fd, &made) != 0)
        return -1;
    if (made.st_uid == old.st_uid && made.st_gid == old.st_gid)
        return 0;
    return fchown(fd, old.st_uid, old.st_gid);
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int read_whole_file(const std::string& path, std::string* bytes, std::string* error) {
    std::string why;
    FILE* file = open_input(path, &why);
    if (file == nullptr) {
        *error = "cannot open " + path + ": " + why;
        return -1;
    }
    bytes->clear();
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->append(chunk, got);
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *error = failure("cannot read", path);
        return -1;
    }
    return 0;
}

int read_access_file(const std::string& path, std::vector<_access_rec_t>* records,
                     size_t* ignored_bytes, std::string* error) {
    std::string bytes;
    if (read_whole_file(path, &bytes, error) != 0)
        return -1;
    const size_t count = bytes.size() / sizeof(_access_rec_t);
    records->resize(count);
    if (count > 0)
        memcpy(records->data(), bytes.data(), count * sizeof(_access_rec_t));
    *ignored_bytes = bytes.size() % sizeof(_access_rec_t);
    return 0;
}

int write_access_file(const std::string& path, const std::vector<_access_rec_t>& records,
                      std::string* error) {
    std::string bytes(records.size() * sizeof(_access_rec_t), '\0');
    if (!records.empty())
        memcpy(&bytes[0], records.data(), bytes.size());
    return replace_file(path, bytes, error);
}

int replace_file(const std::string& path, const std::string& bytes, std::string* error) {
    // A new file is made as any other the operator makes, under the umask.
    const mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat old;
    const bool replacing = stat(path.c_str(), &old) == 0;
    if (replacing)
        mode = old.st_mode & 07777;

    // Same folder, so the rename stays within one file system and is atomic.
    std::string temporary = path + TEMPORARY_INFIX + "XXXXXX";
    const int fd = mkstemp(&temporary[0]);
    if (fd < 0) {
        *error = failure("cannot create a temporary file beside", path);
        return -1;
    }
    if (replacing && keep_owner(fd, old) != 0) {
        *error = failure("cannot give the new file the owner of", path);
        close(fd);
        unlink(temporary.c_str());
        return -1;
    }
    if (write_all(fd, bytes) != 0 || fchmod(fd, mode) != 0 || fsync(fd) != 0) {
        *error = failure("cannot write", temporary);
        close(fd);
        unlink(temporary.c_str());
        return -1;
    }
    if (close(fd) != 0) {
        *error = failure("cannot write", temporary);
        unlink(temporary.c_str());
        return -1;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        *error = failure("cannot replace", path);
        unlink(temporary.c_str());
        return -1;
    }
    // Make the rename itself durable; the new file is in place either way.
    const int folder = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return 0;
}
