// Many boards of the two stories, each judged against its story without a
// fault; a run prints its tally and fails with every problem found.
#pragma once

#include <functional>
#include <gtest/gtest.h>

#include "tests/board_faults/storage_board.h"

// What a story leaves without a fault, normalised: the outcomes that a
// failed passage may leave, what the next passage adds, and how many calls
// of each file operation the failing passage makes.
struct StoryReference {
    StorageTree before;
    StorageTree after_failing;
    StorageTree after_next;
    StorageTree without_occupancy; // decided without the occupancy journal
    std::map<std::string, long> counts;
};

struct BoardCase {
    size_t story; // in BOARD_STORIES
    StoryRun how;
    std::string what; // how the problems name it
};

// The problems of one case.
using Judge = std::function<Problems(const BoardCase&, const StoryOutcome&)>;

// The settings that count every file operation on the board's storage.
std::vector<std::string> counting_faultfs();

class StorageBoards : public ::testing::Test {
  protected:
    // The references of both stories, made by the first test that asks.
    static const StoryReference& reference(size_t story);

    // Runs the cases, several boards at a time; returns a line for every
    // problem and then the tally "tried N survived M". A case whose
    // snapshot missed the moment between the passages runs again.
    static std::vector<std::string> run_cases(const std::vector<BoardCase>& cases,
                                              const Judge& judge);

    // What the failing passage and the next one left against the story
    // without a fault: whole files, only the failed step missing, the next
    // passage recorded in full, and a service that ended by SIGTERM.
    static Problems judged(const StoryReference& reference, const StoryOutcome& outcome);

    // Prints the tally of `lines` and fails with the rest.
    static void report(const char* what, const std::vector<std::string>& lines);
};
