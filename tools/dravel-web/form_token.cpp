#include "tools/dravel-web/form_token.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/dravel-web/hmac_sha256.h"

namespace {

constexpr size_t SECRET_SIZE = 32;

int make_secret(const std::string& path, std::string* error) {
    unsigned char bytes[SECRET_SIZE];
    const int random = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    const bool got = random >= 0 && read(random, bytes, sizeof bytes) == sizeof bytes;
    if (random >= 0)
        close(random);
    const int fd = got ? open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
    const bool made = fd >= 0 && write(fd, bytes, sizeof bytes) == sizeof bytes;
    if (!made)
        *error = "cannot make the secret " + path + ": " + strerror(errno);
    if (fd >= 0 && (close(fd) != 0 || !made))
        unlink(path.c_str());
    return made ? 0 : -1;
}

std::string token_of_day(const std::string& secret, const std::string& user, long day) {
    return hex_text(hmac_sha256(secret, user + '\n' + std::to_string(day)));
}

bool equal_in_constant_time(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

} // namespace

int read_secret(const std::string& path, std::string* secret, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        if (make_secret(path, error) != 0)
            return -1;
        fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *error = "cannot read the secret " + path + ": " + strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    char bytes[256];
    const ssize_t got =
        S_ISREG(st.st_mode) && (st.st_mode & 077) == 0 ? read(fd, bytes, sizeof bytes) : -1;
    close(fd);
    if (got < static_cast<ssize_t>(SECRET_SIZE)) {
        *error = "the secret " + path +
                 " must be a regular file of 32 to 256 bytes that only its owner may read";
        return -1;
    }
    secret->assign(bytes, static_cast<size_t>(got));
    return 0;
}

std::string form_token(const std::string& secret, const std::string& user, time_t now) {
    return token_of_day(secret, user, static_cast<long>(now / 86400));
}

bool token_valid(const std::string& secret, const std::string& user, time_t now,
                 const std::string& token) {
    const long day = static_cast<long>(now / 86400);
    // Both compared, so the time taken tells nothing of which one failed.
    const bool today = equal_in_constant_time(token_of_day(secret, user, day), token);
    const bool yesterday = equal_in_constant_time(token_of_day(secret, user, day - 1), token);
    return today || yesterday;
}

bool same_origin(const std::string& origin, const std::string& host) {
    return origin.empty() ||
           (!host.empty() && (origin == "http://" + host || origin == "https://" + host));
}
