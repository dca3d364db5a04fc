// The real service on a board whose storage fails one file operation of a
// passage: every call of every operation that the passage makes, each once.
#include <cstring>

#include "tests/board_faults/board_cases.h"

namespace {

struct Failure {
    const char* error;
    bool partial; // a full disk that takes half the bytes first
};

// The errors take turns over the calls; the in-process tests try each
// error on each call.
const Failure FAILURES[] = {{"EIO", false}, {"ENOSPC", false}, {"EACCES", false}, {"ENOSPC", true}};

// A journal of the net-base that missed the passage says so in the log
// under its name; the storages' archives are meant to stay silent.
Problems unlogged_losses(const StoryReference& reference, const StoryOutcome& outcome) {
    Problems problems;
    const StorageTree faulted = normalised(outcome.after_failing, outcome);
    for (const char* name : {"netnumbase.tpn", "netpassbase.tpn"}) {
        const std::string path = std::string("/mnt/net/") + name;
        const auto was = reference.before.find(path);
        const auto now = faulted.find(path);
        const bool missed =
            now == faulted.end() || (was != reference.before.end() && now->second == was->second &&
                                     reference.after_failing.at(path) != was->second);
        bool said = false;
        for (const std::string& message : outcome.log)
            said = said || message.find(std::string("/") + name) != std::string::npos;
        if (missed && !said)
            problems.push_back(path + ": missed the passage and nothing said so");
    }
    return problems;
}

class InjectedFailures : public StorageBoards {};

// The calls count from the service's start: the cars inside are written
// into the occupancy journal before the board starts, so the failing
// passage makes the first calls on the storage.
TEST_F(InjectedFailures, EachCallOfEachOperationOfAPassageFailedOnce) {
    std::vector<BoardCase> cases;
    for (size_t story = 0; story < std::size(BOARD_STORIES); ++story) {
        size_t turn = 0;
        for (const auto& [op, count] : reference(story).counts) {
            const bool writes = op.find("write") != std::string::npos;
            for (long nth = 1; nth <= count; ++nth) {
                const Failure& failure = FAILURES[turn++ % (writes ? 4 : 3)];
                StoryRun how;
                how.run =
                    "faults-fail-" + std::to_string(story) + "-" + op + "-" + std::to_string(nth);
                how.faultfs = counting_faultfs();
                how.faultfs.insert(
                    how.faultfs.end(),
                    {"FAULTFS_OP=" + op, "FAULTFS_NTH=" + std::to_string(nth),
                     std::string("FAULTFS_ERRNO=") + failure.error,
                     std::string("FAULTFS_PARTIAL=") + (failure.partial ? "1" : "0")});
                cases.push_back({story, how,
                                 op + " #" + std::to_string(nth) + " " + failure.error +
                                     (failure.partial ? " (half written)" : "")});
            }
        }
    }
    ASSERT_FALSE(cases.empty());
    const std::vector<std::string> lines =
        run_cases(cases, [](const BoardCase& run, const StoryOutcome& outcome) {
            const StoryReference& expected = reference(run.story);
            Problems problems = judged(expected, outcome);
            if (!outcome.injected)
                problems.push_back("the armed call never came");
            const Problems unlogged = unlogged_losses(expected, outcome);
            problems.insert(problems.end(), unlogged.begin(), unlogged.end());
            return problems;
        });
    report("injected storage failures on the board", lines);
}

} // namespace
