// The real service on simulated boards whose storage fails: the two
// stories of a failing passage, the boards that tell them, and the storage
// trees they leave, by the paths the board sees.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/board.h"
#include "tests/storage/storage_checks.h"

// A board that finds cars inside (its occupancy journal written before it
// starts), decides the passage that fails and then the next one.
struct BoardStory {
    const char* name;
    const char* direction;           // "in" or "out"
    std::vector<std::string> inside; // numbers of the cars inside at the start
    const char* failing;             // the number of the failing passage
    const char* next;                // and of the one after it
};

extern const BoardStory BOARD_STORIES[2];

// How one board of a story runs.
struct StoryRun {
    std::string run;                  // the run's name
    std::vector<std::string> faultfs; // FAULTFS_* settings as NAME=VALUE
    bool failing_only = false;        // the board ends after the failing passage
    bool journal_folder = false;      // a folder in the occupancy journal's place
    int free_pages = -1;              // 0 or more: storage on small full tmpfs
};

BoardSetup story_board(const BoardStory& story, const StoryRun& how);

// The occupancy journal as the board finds it, by board path.
StorageTree seeded_tree(const BoardStory& story);

// What a board of a story left. Trees are keyed by the paths inside the
// board ("/mnt/net/netnumbase.tpn", "/tmp/last_recognized.jpeg").
struct StoryOutcome {
    std::string end; // how the service ended, "exit 0" ...
    // Taken between the two passages, and a full storage filled before them.
    bool snapshot_in_time = false;
    StorageTree after_failing;          // as the failing passage left it
    StorageTree after_next;             // as the board ended
    std::map<std::string, long> counts; // calls of each file operation
    bool injected = false;              // the armed call was failed
    std::vector<std::string> log;       // the service's log messages
    // The JPEG of each passage as the stream carried it, and its number.
    std::map<std::string, std::string> passage_jpegs;
};

StoryOutcome story_outcome(const BoardSetup& setup, const StoryRun& how);

// The tree with what differs from one run to the next made equal: passage
// times in records and text lines, archive names' time stamps, and JPEGs,
// whose bytes follow the frame the engine took: one that the stream carried
// stands for its passage's number, another that decodes whole for any.
StorageTree normalised(const StorageTree& raw, const StoryOutcome& outcome);
