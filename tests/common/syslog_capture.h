// Unit tests link this in place of the C library's syslog: every line the
// code under test logs is kept in memory with its priority, so a test can
// assert the exact text and that priority 0 was used.
#pragma once

#include <string>
#include <vector>

struct LoggedLine {
    int priority;
    std::string text;
};

namespace syslog_capture {

void clear();
std::vector<LoggedLine> lines();
// Lines whose text contains `needle`.
std::vector<std::string> matching(const std::string& needle);
bool contains(const std::string& needle);

} // namespace syslog_capture
