#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <thread>
#include <ctime>

#include <gtest/gtest.h>

#include "support/support_routines.h"

namespace {

void ignore_signal(int) {}

// Runs msleep_ts(ms) while another thread keeps signalling this one, so the
// sleep ends by the signal as soon as it has begun. Returns errno.
int errno_of_interrupted_sleep(int ms, int& result) {
    struct sigaction action = {};
    struct sigaction previous;
    action.sa_handler = ignore_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR2, &action, &previous);

    std::atomic<bool> done(false);
    const pthread_t sleeper = pthread_self();
    std::thread waker([&] {
        const struct timespec pause = {0, 1000000};
        while (!done) {
            pthread_kill(sleeper, SIGUSR2);
            nanosleep(&pause, nullptr);
        }
    });
    errno = 0;
    result = msleep_ts(ms);
    const int error = errno;
    done = true;
    waker.join();
    sigaction(SIGUSR2, &previous, nullptr);
    return error;
}

} // namespace

TEST(MsleepTs, ShortAndZeroSleepsSucceed) {
    EXPECT_EQ(msleep_ts(0), 0);
    EXPECT_EQ(msleep_ts(10), 0);
}

TEST(MsleepTs, NegativeCountIsRefused) {
    errno = 0;
    EXPECT_EQ(msleep_ts(-1), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(msleep_ts(-1500), -1);
    EXPECT_EQ(errno, EINVAL);
}

// 1500 ms must be asked for as 1 s and 500 ms: as 1.5e9 ns nanosleep would
// refuse it (EINVAL) instead of sleeping until the signal (EINTR).
TEST(MsleepTs, SignalEndsASleepOfOverASecond) {
    int result = 0;
    EXPECT_EQ(errno_of_interrupted_sleep(1500, result), EINTR);
    EXPECT_EQ(result, -1);
}
