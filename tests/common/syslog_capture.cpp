#include "tests/common/syslog_capture.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace {

std::mutex guard;
std::vector<std::string>& store() {
    static std::vector<std::string> kept;
    return kept;
}

void keep(int priority, const char* fmt, va_list ap) {
    char text[4096];
    vsnprintf(text, sizeof text, fmt, ap);
    std::string line = priority == 0 ? "" : "<priority " + std::to_string(priority) + "> ";
    std::lock_guard<std::mutex> lock(guard);
    store().push_back(line + text);
}

} // namespace

extern "C" void syslog(int priority, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    keep(priority, fmt, ap);
    va_end(ap);
}

extern "C" void vsyslog(int priority, const char* fmt, va_list ap) {
    keep(priority, fmt, ap);
}

extern "C" void openlog(const char*, int, int) {}
extern "C" void closelog() {}

namespace syslog_capture {

void clear() {
    std::lock_guard<std::mutex> lock(guard);
    store().clear();
}

std::vector<std::string> all() {
    std::lock_guard<std::mutex> lock(guard);
    return store();
}

std::vector<std::string> matching(const std::string& needle) {
    std::vector<std::string> found;
    for (const std::string& line : all())
        if (line.find(needle) != std::string::npos)
            found.push_back(line);
    return found;
}

size_t count(const std::string& line) {
    const std::vector<std::string> lines = all();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

std::string logged() {
    std::string text;
    for (const std::string& line : all())
        text += line;
    return text;
}

} // namespace syslog_capture
