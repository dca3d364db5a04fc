// Link-time stand-ins for what the loop calls besides the capture and the
// engine: the state-manager poll and signal report, the zero block, the
// access-base reload and the access decision record what they were asked,
// and msleep_ts moves the fake clock that time() reads only by the loop's
// pauses, so a test sets the time of every iteration. Outside a script
// msleep_ts and time() behave as the real ones.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace loop_fakes {

struct Script {
    int iterations = 1;           // `stop` is set at this iteration's poll
    int pause_stands_for_ms = 10; // what each 10 ms pause adds to the clock
    std::set<int> photo_requests; // iterations (from 1) with an operator's request
    std::function<void(int iteration)> after_poll;
    std::function<void()> during_reload;
};

struct Decision {
    int iteration;
    long time;
    std::string number;
    int kind;
    int by_button;      // gv_access_by_button during the call
    std::string source; // "frame": the current frame doubled; "image": all 0x5A; else "other"
};

// 2023-11-14 22:13:20 UTC, whole seconds.
constexpr long start_time = 1700000000;

void start(const Script& script);
void finish();

// The number of the iteration under way; it begins with its 10 ms pause.
int iteration();
// "N: what" for each call, N the iteration: "zero", "signal 0", "pause 3000",
// "reload PATH".
const std::vector<std::string>& events();
const std::vector<Decision>& decisions();
// Iterations in which `what` happened.
std::vector<int> iterations_of(const std::string& what);

} // namespace loop_fakes
