// A wall clock that moves only when told: linked into a program, it stands
// in for the C library's time() between start and finish, and passes the
// real time on otherwise.
#pragma once

namespace fake_clock {

void start(long long ms_since_epoch);
void advance(int ms);
void finish();

} // namespace fake_clock
