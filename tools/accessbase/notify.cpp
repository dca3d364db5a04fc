#include "tools/accessbase/notify.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

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

namespace {

// The service's program file, as it is installed and built.
const char SERVICE_PROGRAM[] = "dravel";

// A pid file outlives its process after a power cut, and its number may
// since have gone to any other: SIGUSR1 would end that one. The program
// file the process runs tells; whoever may signal a process may read it.
int check_service(pid_t pid, std::string* error) {
    const std::string process = "process " + std::to_string(pid);
    char exe[PATH_MAX];
    const ssize_t length =
        readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof exe - 1);
    if (length < 0) {
        // No such entry: no such process, as after a power cut.
        *error = "cannot signal " + process + ": " + strerror(errno == ENOENT ? ESRCH : errno);
        return -1;
    }
    std::string program(exe, static_cast<size_t>(length));
    program.erase(0, program.rfind('/') + 1);
    // A program file replaced while it runs, by an update say, still is.
    const std::string deleted = " (deleted)";
    if (program.size() > deleted.size() &&
        program.compare(program.size() - deleted.size(), deleted.size(), deleted) == 0)
        program.resize(program.size() - deleted.size());
    if (program == SERVICE_PROGRAM)
        return 0;
    *error = process + " is not the service: it runs " + quoted_excerpt(program) +
             "; no signal was sent";
    return -1;
}

} // namespace

int notify_service(pid_t pid, std::string* error) {
    if (check_service(pid, error) != 0)
        return -1;
    if (kill(pid, SIGUSR1) != 0) {
        *error = "cannot signal process " + std::to_string(pid) + ": " + strerror(errno);
        return -1;
    }
    return 0;
}
