// The real service on a board whose storages are small tmpfs mounts that
// run full for real: filled so that 0 up to FREE_PAGES pages stay free
// before the failing passage, freed again before the next one.
#include "tests/board_faults/board_cases.h"

namespace {

// A passage takes a JPEG of seven or eight pages and two journal pages on
// each storage: with more free it runs short nowhere.
const int FREE_PAGES = 9;

class FullFileSystem : public StorageBoards {};

TEST_F(FullFileSystem, AFullStorageAtEveryPointOfAPassage) {
    std::vector<BoardCase> cases;
    for (size_t story = 0; story < std::size(BOARD_STORIES); ++story) {
        reference(story);
        for (int pages = 0; pages <= FREE_PAGES; ++pages) {
            StoryRun how;
            how.run = "faults-full-" + std::to_string(story) + "-" + std::to_string(pages);
            how.free_pages = pages;
            cases.push_back({story, how, std::to_string(pages) + " pages free"});
        }
    }
    int short_of_space = 0;
    std::vector<std::string> lines =
        run_cases(cases, [&short_of_space](const BoardCase& run, const StoryOutcome& outcome) {
            const StoryReference& expected = reference(run.story);
            short_of_space +=
                normalised(outcome.after_failing, outcome) != expected.after_failing ? 1 : 0;
            return judged(expected, outcome);
        });
    // Only runs that lost something tell anything.
    if (short_of_space == 0)
        lines.insert(lines.begin(), "no passage was short of space");
    report("full file system on the board", lines);
}

} // namespace
