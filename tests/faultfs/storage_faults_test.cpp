// One passage with each of its file operations failed in turn, with each
// error a failing storage gives: what is left must be whole, must miss only
// what the failed step would have written, and the next passage must be
// recorded in full.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/process_values.h"
#include "tests/common/syslog_capture.h"
#include "tests/faultfs/preload/faultfs.h"
#include "tests/faultfs/private_storage.h"
#include "tests/faultfs/storage_world.h"

namespace {

const long T0 = 1237010709;
const char WORLD[] = "faultfs-storage";

struct Failure {
    int error;
    const char* name;
    bool partial; // a full disk that takes half the bytes first
};
const Failure FAILURES[] = {{EIO, "EIO", false},
                            {ENOSPC, "ENOSPC", false},
                            {EACCES, "EACCES", false},
                            {ENOSPC, "ENOSPC", true}};

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

// Fills the file system of `folder` with page-sized files, then removes
// `pages` of them: that many pages stay free. False when it had not as many.
bool fill_leaving(const std::string& folder, int pages) {
    mkdir(folder.c_str(), 0700);
    const std::string page(4096, 'f');
    int files = 0;
    for (;; ++files) {
        const std::string path = folder + "/" + std::to_string(files);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const bool whole = fd >= 0 && write(fd, page.data(), page.size()) == 4096;
        if (fd >= 0)
            close(fd);
        if (!whole) {
            unlink(path.c_str());
            break;
        }
    }
    for (int i = 0; i < pages && i < files; ++i)
        unlink((folder + "/" + std::to_string(i)).c_str());
    return files >= pages;
}

// Lines of a run: the problems, then the tally.
const char TALLY[] = "tried ";

class StorageFaults : public ::testing::Test {
  protected:
    void SetUp() override { world.create(WORLD); }
    void TearDown() override { faultfs_off(); }

    // The story without a fault: what each passage leaves, and how many
    // calls of each operation the failing passage makes.
    std::vector<long> reference(const Story& story) {
        world.create(WORLD);
        story.seed();
        faultfs_configure(-1, 0, 0, world.watched().c_str(), false);
        story.failing();
        std::vector<long> counts;
        for (int op = 0; op < FAULTFS_OP_COUNT; ++op)
            counts.push_back(faultfs_count(op));
        faultfs_off();
        reference_after_failing = world.snapshot();
        story.next();
        reference_after_next = world.snapshot();

        // A folder in the journal's place: it cannot be opened.
        world.create(WORLD);
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

    // The story's failing passage on a storage that `fault` breaks (false
    // when it cannot) and `mend` mends; the next passage after it. What they
    // left, against the story without a fault.
    Problems run(const Story& story, const std::function<bool()>& fault,
                 const std::function<void()>& mend) {
        world.create(WORLD);
        story.seed();
        const StorageTree before = world.snapshot();
        if (!fault())
            return {"the fault could not be set up"};
        syslog_capture::clear();
        story.failing();
        mend();
        const StorageTree faulted = world.snapshot();
        lost_something += faulted != reference_after_failing ? 1 : 0;
        story.next();
        const StorageTree next = world.snapshot();
        Problems problems = unlogged_losses(before, faulted);
        const Problems found[] = {
            whole_files(faulted),
            only_failed_step_missing(
                faulted, {&before, &reference_after_failing, &reference_without_occupancy}),
            next_passage_whole(faulted, next, reference_after_failing, reference_after_next),
            whole_files(next)};
        for (const Problems& more : found)
            problems.insert(problems.end(), more.begin(), more.end());
        return problems;
    }

    // A journal of the net-base that missed the passage's part says so in
    // the log under its path; only the pass journal's text line goes
    // unlogged. The storages' archives are silent by design.
    Problems unlogged_losses(const StorageTree& before, const StorageTree& faulted) const {
        Problems problems;
        for (const char* name : {gv_netnumbase, gv_netpassbase}) {
            const std::string path = world.net + "/" + name;
            const auto was = before.find(path);
            const auto now = faulted.find(path);
            const bool missed =
                now == faulted.end() || (was != before.end() && now->second == was->second &&
                                         reference_after_failing.at(path) != was->second);
            if (missed && syslog_capture::matching(path).empty())
                problems.push_back(path + ": missed the passage and nothing said so");
        }
        return problems;
    }

    // Counts a case; its problems become lines named by `what`.
    void tally(const std::string& what, const Problems& problems) {
        ++tried;
        survived += problems.empty() ? 1 : 0;
        for (const std::string& problem : problems)
            lines.push_back(what + ": " + problem);
    }

    std::vector<std::string> tallied() {
        lines.push_back(TALLY + std::to_string(tried) + " survived " + std::to_string(survived));
        return lines;
    }

    // Every story, every operation, every failure, every call.
    std::vector<std::string> every_failure() {
        for (const Story& story : STORIES) {
            const std::vector<long> counts = reference(story);
            for (const std::string& problem : whole_files(reference_after_next))
                lines.push_back("without a fault: " + problem);
            for (int op = 0; op < FAULTFS_OP_COUNT; ++op) {
                const bool writes = op == FAULTFS_WRITE || op == FAULTFS_FWRITE;
                for (const Failure& failure : FAILURES) {
                    for (long nth = 1; nth <= counts[op] && (writes || !failure.partial); ++nth) {
                        const auto fault = [&] {
                            return faultfs_configure(op, nth, failure.error,
                                                     world.watched().c_str(), failure.partial);
                        };
                        Problems problems = run(story, fault, faultfs_off);
                        if (!faultfs_injected())
                            problems.push_back("the armed call never came");
                        tally(std::string(story.name) + ", " + faultfs_op_name(op) + " #" +
                                  std::to_string(nth) + " " + failure.name +
                                  (failure.partial ? " (half written)" : ""),
                              problems);
                    }
                }
            }
        }
        return tallied();
    }

    // The failing passage on a file system with 0 up to `most` pages free;
    // the next one after space was freed.
    std::vector<std::string> full_file_system(int most) {
        const std::string filler = world.root + "/filler";
        for (const Story& story : STORIES) {
            reference(story);
            for (int free_pages = 0; free_pages <= most; ++free_pages) {
                const auto fault = [&] { return fill_leaving(filler, free_pages); };
                const auto mend = [&] {
                    std::error_code ignored;
                    std::filesystem::remove_all(filler, ignored);
                };
                tally(std::string(story.name) + ", " + std::to_string(free_pages) + " pages free",
                      run(story, fault, mend));
            }
        }
        // Only runs that lost something tell anything.
        if (lost_something == 0)
            lines.push_back("no passage was short of space");
        return tallied();
    }

    StorageWorld world;
    StorageTree reference_after_failing;
    StorageTree reference_after_next;
    StorageTree reference_without_occupancy;
    std::vector<std::string> lines;
    int tried = 0;
    int survived = 0;
    int lost_something = 0;
};

TEST_F(StorageFaults, EachOperationOfAPassageFailedInTurn) {
    std::vector<std::string> lines;
    const auto work = [this] {
        world.private_tmp = true;
        return every_failure();
    };
    // Without a private storage the test runs here, on the disk, and leaves
    // the latest snapshot, which other programs share, out of its checks.
    if (!run_on_private_storage(world.root, "size=64m", work, &lines))
        lines = every_failure();
    report("injected storage failures", lines, TALLY);
}

// A real file system that fills up: the passage meets ENOSPC wherever the
// last free page runs out.
TEST_F(StorageFaults, AFullFileSystemAtEveryPointOfAPassage) {
    std::vector<std::string> lines;
    const auto work = [this] {
        world.private_tmp = true;
        return full_file_system(12);
    };
    if (!run_on_private_storage(world.root, "size=1m", work, &lines))
        GTEST_SKIP() << "no mount namespace here for a small tmpfs";
    report("full file system", lines, TALLY);
}

} // namespace
