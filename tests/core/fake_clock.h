// A wall clock that moves only when told: linked into a program, it stands
// in for the C library's time() while it runs, and passes the real time on
// otherwise.
#pragma once

namespace fake_clock {

void start(long long ms_since_epoch);
void advance(int ms);
void finish();
bool running();
long long seconds();

} // namespace fake_clock
