// The service's one way to pause. A module of its own because it is the
// loop's clock: the loop's tests and benchmark put a pause of their own in
// its place at link time, while every other support routine stays real.
#pragma once

// Sleeps `ms` milliseconds; a signal ends the sleep early. Returns nanosleep's
// result: 0, or -1 with errno set (EINTR, or EINVAL for a negative count).
int msleep_ts(int ms);
