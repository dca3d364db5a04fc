// One passage with each of its file operations failed in turn, with each
// error a failing storage gives: what is left must be whole, must miss only
// what the failed step would have written, and the next passage must be
// recorded in full.
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/gv.h"
#include "tests/faultfs/preload/faultfs.h"
#include "tests/faultfs/storage_checks.h"
#include "tests/faultfs/storage_world.h"

namespace {

const long T0 = 1237010709;

const char* const OPERATIONS[] = {"open",   "fopen",  "read",  "fread",  "write",
                                  "fwrite", "fflush", "fsync", "rename", "ftruncate",
                                  "fcntl",  "close",  "fclose"};

struct Failure {
    const char* error;
    bool partial; // a full disk that takes half the bytes first
};
const Failure FAILURES[] = {{"EIO", false}, {"ENOSPC", false}, {"EACCES", false}, {"ENOSPC", true}};

// The passage that fails and the one after it, from the same start.
struct Story {
    const char* name;
    void (*seed)();
    void (*failing)();
    void (*next)();
};

const Story STORIES[] = {
    // A new car of an owner whose other car is inside: its record is
    // appended after the owner's places are counted.
    {"entry of a new car", [] { passage(T0, OWNER_CAR, 1); },
     [] { passage(T0 + 60, OTHER_OWNER_CAR, 1); }, [] { passage(T0 + 120, OWNERLESS_CAR, 1); }},
    // A car that is inside leaves: its record is rewritten in place.
    {"exit of a car inside",
     [] {
         passage(T0, OWNER_CAR, 1);
         passage(T0 + 10, OWNERLESS_CAR, 1);
     },
     [] { passage(T0 + 60, OWNER_CAR, -1); }, [] { passage(T0 + 120, OWNERLESS_CAR, -1); }},
};

struct Tally {
    int tried = 0;
    int survived = 0;
};

class StorageFaults : public ::testing::Test {
  protected:
    void TearDown() override { faultfs_off(); }

    // Runs the story's failing passage with `op` failed at call `nth`.
    // Problems found, each prefixed with what was failed.
    Problems run(const Story& story, const char* op, long nth, const Failure& failure) {
        world.create("faultfs-storage");
        story.seed();
        const StorageTree before = world.snapshot();
        const std::string n = std::to_string(nth);
        if (faultfs_configure(op, n.c_str(), failure.error, world.watched().c_str(),
                              failure.partial ? "1" : nullptr) != 0)
            return {"the fault could not be armed"};
        story.failing();
        faultfs_off();
        const StorageTree faulted = world.snapshot();
        story.next();
        const StorageTree next = world.snapshot();

        Problems problems = whole_files(faulted);
        const Problems found[] = {
            only_failed_step_missing(
                faulted, {&before, &reference_after_failing, &reference_without_occupancy}),
            next_passage_whole(faulted, next, reference_after_failing, reference_after_next),
            whole_files(next)};
        for (const Problems& more : found)
            problems.insert(problems.end(), more.begin(), more.end());
        const std::string what = std::string(op) + " #" + n + " " + failure.error +
                                 (failure.partial ? " (half written)" : "") + ": ";
        for (std::string& problem : problems)
            problem = what + problem;
        return problems;
    }

    // The story without a fault: what each passage leaves, and how many
    // calls of each operation the failing passage makes.
    std::vector<long> reference(const Story& story) {
        world.create("faultfs-storage");
        story.seed();
        faultfs_configure(nullptr, nullptr, nullptr, world.watched().c_str(), nullptr);
        story.failing();
        std::vector<long> counts;
        for (const char* op : OPERATIONS)
            counts.push_back(faultfs_count(op));
        faultfs_off();
        reference_after_failing = world.snapshot();
        story.next();
        reference_after_next = world.snapshot();

        // A folder in the journal's place: it cannot be opened.
        world.create("faultfs-storage");
        story.seed();
        const std::string journal = world.net + "/" + gv_netnumbase;
        rename(journal.c_str(), (journal + ".aside").c_str());
        mkdir(journal.c_str(), 0700);
        story.failing();
        rmdir(journal.c_str());
        rename((journal + ".aside").c_str(), journal.c_str());
        reference_without_occupancy = world.snapshot();
        return counts;
    }

    StorageWorld world;
    StorageTree reference_after_failing;
    StorageTree reference_after_next;
    StorageTree reference_without_occupancy;
};

TEST_F(StorageFaults, EachOperationOfAPassageFailedInTurn) {
    Tally tally;
    Problems all;
    for (const Story& story : STORIES) {
        const std::vector<long> counts = reference(story);
        ASSERT_TRUE(whole_files(reference_after_next).empty());
        for (size_t op = 0; op < counts.size(); ++op) {
            for (const Failure& failure : FAILURES) {
                const bool writes = std::string(OPERATIONS[op]).find("write") != std::string::npos;
                if (failure.partial && !writes)
                    continue;
                for (long nth = 1; nth <= counts[op]; ++nth) {
                    const Problems problems = run(story, OPERATIONS[op], nth, failure);
                    ++tally.tried;
                    if (problems.empty())
                        ++tally.survived;
                    for (const std::string& problem : problems)
                        all.push_back(std::string(story.name) + ", " + problem);
                }
            }
        }
    }
    printf("injected storage failures: %d tried, %d survived\n", tally.tried, tally.survived);
    EXPECT_GT(tally.tried, 0);
    for (const std::string& problem : all)
        ADD_FAILURE() << problem;
}

} // namespace
