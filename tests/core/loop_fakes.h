// Link-time stand-ins for what the loop calls besides the capture and the
// engine. They record what they are asked as "N: what", N the iteration
// (which begins with its 10 ms pause), and the pauses move the wall clock
// (time()), which stands still otherwise while the loop runs, so a test sets
// the time of every iteration.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace loop_fakes {

struct Script {
    int iterations = 1;           // `stop` is set at this iteration's poll
    int pause_stands_for_ms = 10; // what each 10 ms pause adds to the clock
    std::set<int> photo_requests; // iterations with an operator's request
    std::function<void(int iteration)> after_poll;
    std::function<void()> during_reload;
};

// 2023-11-14 22:13:20 UTC.
constexpr long start_time = 1700000000;

void run(const Script& script, const std::function<void()>& loop);
int iteration();
// "zero", "signal V", "pause MS", "reload PATH", and for each decision
// "NUMBER kind K [button] SOURCE @SECONDS", SOURCE "frame" for the current
// frame doubled.
const std::vector<std::string>& events();
std::vector<std::string> events_with(const std::string& part);

} // namespace loop_fakes
