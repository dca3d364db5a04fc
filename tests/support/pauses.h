// The support tests never sleep: this program replaces the C library's
// nanosleep, under msleep_ts, with one that returns at once and keeps each
// request, so a test reads back how often and how long a wait paused.
#pragma once

#include <ctime>
#include <vector>

namespace pauses {

std::vector<struct timespec>& requests();

} // namespace pauses
