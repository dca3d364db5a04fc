#include "tools/accessbase/notify.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tools/accessbase/access_file.h"
#include "tools/cp1251_text/shown_text.h"

int parse_pid(const std::string& text, pid_t* pid, std::string* error) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    const std::string digits = first == std::string::npos
                                   ? ""
                                   : text.substr(first, text.find_last_not_of(blanks) - first + 1);
    const bool number = !digits.empty() && digits.size() <= 10 &&
                        digits.find_first_not_of("0123456789") == std::string::npos;
    const long long value = number ? strtoll(digits.c_str(), nullptr, 10) : 0;
    if (value < 2 || value > INT_MAX) {
        *error = quoted_excerpt(text) + " is not the process id of a service";
        return -1;
    }
    *pid = static_cast<pid_t>(value);
    return 0;
}

int read_pid_file(const std::string& path, pid_t* pid, std::string* error) {
    std::string text;
    if (read_whole_file(path, &text, error) != 0)
        return -1;
    if (parse_pid(text, pid, error) != 0) {
        *error = path + ": " + *error;
        return -1;
    }
    return 0;
}

int notify_service(pid_t pid, std::string* error) {
    if (kill(pid, SIGUSR1) != 0) {
        *error = "cannot signal process " + std::to_string(pid) + ": " + strerror(errno);
        return -1;
    }
    return 0;
}
