#include "tools/accessbase/tool_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* open_input(const std::string& path, std::string* why) {
    // Non-blocking, so that a FIFO is refused instead of waited on.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *why = strerror(errno);
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    FILE* file = nullptr;
    if (!S_ISREG(st.st_mode))
        *why = "not a regular file";
    else if (fcntl(fd, F_SETFL, 0) != 0 || (file = fdopen(fd, "rb")) == nullptr)
        *why = strerror(errno);
    if (file == nullptr)
        close(fd);
    return file;
}

int check_output(const std::string& output, const std::vector<std::string>& inputs,
                 std::string* why) {
    struct stat out;
    if (output == "-" || stat(output.c_str(), &out) != 0)
        return 0;
    if (!S_ISREG(out.st_mode)) {
        *why = "it exists and is not a regular file";
        return -1;
    }
    for (const std::string& input : inputs) {
        struct stat in;
        if (stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            *why = "it is the input " + input;
            return -1;
        }
    }
    return 0;
}

long read_capped_line(FILE* file, bool cr_ends, std::string* line, bool* too_long) {
    line->clear();
    bool ended = false;
    for (int c; !ended && line->size() < TEXT_LINE_MAX && (c = getc(file)) != EOF;) {
        line->push_back(static_cast<char>(c));
        ended = c == '\n' || (c == '\r' && cr_ends);
        if (ended && c == '\r') {
            const int next = getc(file);
            if (next == '\n')
                line->push_back('\n');
            else if (next != EOF)
                ungetc(next, file);
        }
    }
    *too_long = !ended && line->size() >= TEXT_LINE_MAX;
    return ferror(file) ? -1 : static_cast<long>(line->size());
}
