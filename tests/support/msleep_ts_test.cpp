#include "support/msleep_ts.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "tests/support/pauses.h"

std::vector<struct timespec>& pauses::requests() {
    static std::vector<struct timespec> kept;
    return kept;
}

// Refuses what the kernel refuses, so a count the pause got wrong fails as
// it would on the board.
extern "C" int nanosleep(const struct timespec* request, struct timespec*) {
    pauses::requests().push_back(*request);
    if (request->tv_sec < 0 || request->tv_nsec < 0 || request->tv_nsec >= 1000000000L) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

namespace {

// Whole seconds and the rest in nanoseconds, on both sides of a second.
TEST(Pause, MillisecondsBecomeSecondsAndNanoseconds) {
    const struct {
        int ms;
        time_t seconds;
        long nanoseconds;
    } rows[] = {
        {0, 0, 0},    {1, 0, 1000000},      {999, 0, 999000000},
        {1000, 1, 0}, {1998, 1, 998000000}, {60001, 60, 1000000},
    };
    for (const auto& row : rows) {
        pauses::requests().clear();
        EXPECT_EQ(msleep_ts(row.ms), 0) << row.ms;
        ASSERT_EQ(pauses::requests().size(), 1u) << row.ms;
        EXPECT_EQ(pauses::requests()[0].tv_sec, row.seconds) << row.ms;
        EXPECT_EQ(pauses::requests()[0].tv_nsec, row.nanoseconds) << row.ms;
    }
    errno = 0;
    EXPECT_EQ(msleep_ts(-1), -1);
    EXPECT_EQ(errno, EINVAL);
}

} // namespace
