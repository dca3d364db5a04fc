#include "tests/board_faults/board_cases.h"

#include <cstdio>

#include "tests/support/scratch_dir.h"

namespace {

// Boards at once: each mostly sleeps between the camera's frames.
const size_t AT_ONCE = 10;
// A case whose snapshot came too late, on a loaded machine, runs again.
const int ATTEMPTS = 3;
const char TALLY[] = "tried ";

std::vector<StoryReference>& references() {
    static std::vector<StoryReference> made;
    return made;
}

// The three boards of a story without a fault: its failing passage alone
// (which counts the calls), both passages, and the failing one decided
// without the occupancy journal.
std::vector<BoardCase> reference_cases() {
    std::vector<BoardCase> cases;
    for (size_t story = 0; story < std::size(BOARD_STORIES); ++story) {
        StoryRun how;
        how.run = "faults-reference-" + std::to_string(story);
        how.faultfs = counting_faultfs();
        cases.push_back({story, how, "reference run"});
        how.run += "-count";
        how.failing_only = true;
        cases.push_back({story, how, "counting run"});
        how = StoryRun();
        how.run = "faults-reference-" + std::to_string(story) + "-no-journal";
        how.journal_folder = true;
        cases.push_back({story, how, "run without the occupancy journal"});
    }
    return cases;
}

Problems take_reference(const BoardCase& run, const StoryOutcome& outcome) {
    StoryReference& reference = references()[run.story];
    Problems problems;
    if (outcome.end != "exit 0")
        problems.push_back("the service ended with " + outcome.end);
    if (run.how.failing_only) {
        reference.counts = outcome.counts;
        if (outcome.counts.empty())
            problems.push_back("no file operation was counted");
    } else if (run.how.journal_folder) {
        StorageTree tree = normalised(outcome.after_failing, outcome);
        tree.erase("/mnt/net/netnumbase.tpn/aside");
        tree["/mnt/net/netnumbase.tpn"] = reference.before.at("/mnt/net/netnumbase.tpn");
        reference.without_occupancy = tree;
    } else {
        reference.after_failing = normalised(outcome.after_failing, outcome);
        reference.after_next = normalised(outcome.after_next, outcome);
        const Problems torn = whole_files(outcome.after_next);
        problems.insert(problems.end(), torn.begin(), torn.end());
    }
    return problems;
}

} // namespace

std::vector<std::string> counting_faultfs() {
    return {"FAULTFS_PATHS=/mnt/net:/mnt/disc0:/mnt/disc1:/tmp/last_recognized.jpeg:"
            "/tmp/last_recognized.jpeg.tmp",
            "FAULTFS_COUNT_FILE=/tmp/counts"};
}

const StoryReference& StorageBoards::reference(size_t story) {
    if (references().empty()) {
        for (const BoardStory& each : BOARD_STORIES)
            references().push_back({normalised(seeded_tree(each), {}), {}, {}, {}, {}});
        const std::vector<std::string> lines = run_cases(reference_cases(), take_reference);
        for (size_t i = 0; i + 1 < lines.size(); ++i)
            ADD_FAILURE() << "without a fault: " << lines[i];
    }
    return references().at(story);
}

std::vector<std::string> StorageBoards::run_cases(const std::vector<BoardCase>& cases,
                                                  const Judge& judge) {
    std::vector<std::string> lines;
    int survived = 0;
    std::vector<const BoardCase*> pending;
    for (const BoardCase& each : cases)
        pending.push_back(&each);
    for (int attempt = 1; attempt <= ATTEMPTS && !pending.empty(); ++attempt) {
        std::vector<const BoardCase*> late;
        for (size_t from = 0; from < pending.size(); from += AT_ONCE) {
            const size_t to = std::min(pending.size(), from + AT_ONCE);
            std::vector<BoardSetup> boards;
            for (size_t i = from; i < to; ++i)
                boards.push_back(story_board(BOARD_STORIES[pending[i]->story], pending[i]->how));
            run_boards(boards);
            for (size_t i = from; i < to; ++i) {
                const BoardCase& run = *pending[i];
                const StoryOutcome outcome = story_outcome(boards[i - from], run.how);
                if (!outcome.snapshot_in_time && !run.how.failing_only && attempt < ATTEMPTS) {
                    late.push_back(&run);
                    continue;
                }
                Problems problems = judge(run, outcome);
                if (!outcome.snapshot_in_time && !run.how.failing_only)
                    problems.push_back("the snapshot between the passages never came in time");
                for (const std::string& problem : problems)
                    lines.push_back(std::string(BOARD_STORIES[run.story].name) + ", " + run.what +
                                    " (" + run_folder(run.how.run) + "): " + problem);
                if (problems.empty()) {
                    ++survived;
                    remove_tree(run_folder(run.how.run));
                }
            }
        }
        if (!late.empty())
            printf("boards run again, their snapshot too late: %zu\n", late.size());
        pending = late;
    }
    lines.push_back(TALLY + std::to_string(cases.size()) + " survived " + std::to_string(survived));
    return lines;
}

Problems StorageBoards::judged(const StoryReference& reference, const StoryOutcome& outcome) {
    Problems problems = whole_files(outcome.after_failing);
    if (outcome.end != "exit 0")
        problems.push_back("the service ended with " + outcome.end);
    const StorageTree faulted = normalised(outcome.after_failing, outcome);
    const StorageTree next = normalised(outcome.after_next, outcome);
    const Problems found[] = {
        only_failed_step_missing(
            faulted, {&reference.before, &reference.after_failing, &reference.without_occupancy}),
        next_passage_whole(faulted, next, reference.after_failing, reference.after_next),
        whole_files(outcome.after_next)};
    for (const Problems& more : found)
        problems.insert(problems.end(), more.begin(), more.end());
    return problems;
}

void StorageBoards::report(const char* what, const std::vector<std::string>& lines) {
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(0u, lines.back().rfind(TALLY, 0)) << lines.back();
    printf("%s: %s\n", what, lines.back().c_str());
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        ADD_FAILURE() << lines[i];
}
