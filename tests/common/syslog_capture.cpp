#include "tests/common/syslog_capture.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace {

std::mutex guard;
std::vector<LoggedLine>& store() {
    static std::vector<LoggedLine> kept;
    return kept;
}

void keep(int priority, const char* fmt, va_list ap) {
    char text[4096];
    vsnprintf(text, sizeof text, fmt, ap);
    std::lock_guard<std::mutex> lock(guard);
    store().push_back({priority, text});
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

std::vector<LoggedLine> lines() {
    std::lock_guard<std::mutex> lock(guard);
    return store();
}

std::vector<std::string> matching(const std::string& needle) {
    std::vector<std::string> found;
    for (const auto& line : lines())
        if (line.text.find(needle) != std::string::npos)
            found.push_back(line.text);
    return found;
}

bool contains(const std::string& needle) {
    return !matching(needle).empty();
}

} // namespace syslog_capture
