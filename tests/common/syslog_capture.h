// Unit tests link this in place of the C library's syslog: every line the
// code under test logs is kept in memory, so a test can compare whole lines,
// priority included.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace syslog_capture {

void clear();
// Every line logged since the last clear, as sent. A line sent at a priority
// other than 0 starts with "<priority N> ", so that comparing whole lines
// also checks that the service's one priority was used.
std::vector<std::string> all();
// The lines of all() that contain `needle`.
std::vector<std::string> matching(const std::string& needle);
// How many lines of all() are exactly `line`.
size_t count(const std::string& line);
// all() as one text.
std::string logged();

} // namespace syslog_capture
