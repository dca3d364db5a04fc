// One passage with each of its file operations failed in turn, with each
// error a failing storage gives: what is left must be whole, must miss only
// what the failed step would have written, and the next passage must be
// recorded in full.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/gv.h"
#include "tests/faultfs/preload/faultfs.h"
#include "tests/faultfs/storage_checks.h"
#include "tests/faultfs/storage_world.h"
#include "tests/support/scratch_dir.h"

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

// Writes the whole text to `fd`; false when it could not.
bool send(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = write(fd, text.data() + sent, text.size() - sent);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// This process alone sees a small tmpfs mounted on `folder`: in a mount
// namespace of its own, and in a user namespace when it is not root. False
// where the system allows neither.
bool private_tmpfs(const std::string& folder) {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWNS) != 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        write_text_file("/proc/self/setgroups", "deny");
        write_text_file("/proc/self/uid_map",
                        std::to_string(uid) + " " + std::to_string(uid) + " 1");
        write_text_file("/proc/self/gid_map",
                        std::to_string(gid) + " " + std::to_string(gid) + " 1");
    }
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("faultfs", folder.c_str(), "tmpfs", 0, "size=1m,mode=0700") == 0;
}

// Fills the file system of `folder` with page-sized files, then removes
// `pages` of them: that many pages stay free.
void fill_leaving(const std::string& folder, int pages) {
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
}

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

        Problems problems = judge(before, faulted, next);
        const std::string what = std::string(op) + " #" + n + " " + failure.error +
                                 (failure.partial ? " (half written)" : "") + ": ";
        for (std::string& problem : problems)
            problem = what + problem;
        return problems;
    }

    // What the failing passage and the next one left, against the story
    // without a fault.
    Problems judge(const StorageTree& before, const StorageTree& faulted,
                   const StorageTree& next) const {
        Problems problems = whole_files(faulted);
        const Problems found[] = {
            only_failed_step_missing(
                faulted, {&before, &reference_after_failing, &reference_without_occupancy}),
            next_passage_whole(faulted, next, reference_after_failing, reference_after_next),
            whole_files(next)};
        for (const Problems& more : found)
            problems.insert(problems.end(), more.begin(), more.end());
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

// A real file system that fills up: the passage meets ENOSPC wherever the
// last free page runs out, and the next one comes after space was freed.
TEST_F(StorageFaults, AFullFileSystemAtEveryPointOfAPassage) {
    const int most_free_pages = 12;
    for (const Story& story : STORIES) {
        reference(story);
        int report[2];
        ASSERT_EQ(0, pipe(report));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(report[0]);
            if (!private_tmpfs(world.root))
                _exit(2);
            int survived = 0;
            int short_of_space = 0;
            for (int free_pages = 0; free_pages <= most_free_pages; ++free_pages) {
                world.create("faultfs-storage");
                story.seed();
                fill_leaving(world.root + "/filler", free_pages);
                const StorageTree before = world.snapshot();
                story.failing();
                const StorageTree faulted = world.snapshot();
                short_of_space += faulted != reference_after_failing ? 1 : 0;
                remove_tree(world.root + "/filler");
                story.next();
                const Problems problems = judge(before, faulted, world.snapshot());
                survived += problems.empty() ? 1 : 0;
                for (const std::string& problem : problems)
                    send(report[1], std::string(story.name) + ", " + std::to_string(free_pages) +
                                        " pages free: " + problem + "\n");
            }
            // Only runs that lost something tell anything.
            if (short_of_space == 0)
                send(report[1], "no run was short of space\n");
            send(report[1], "survived " + std::to_string(survived) + "\n");
            _exit(0);
        }
        close(report[1]);
        std::string text;
        char chunk[4096];
        for (ssize_t n; (n = read(report[0], chunk, sizeof chunk)) > 0;)
            text.append(chunk, static_cast<size_t>(n));
        close(report[0]);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2)
            GTEST_SKIP() << "no mount namespace here for a small tmpfs";
        printf("%s: full file system with 0 to %d pages free: %s", story.name, most_free_pages,
               text.substr(text.rfind("survived")).c_str());
        EXPECT_EQ("survived " + std::to_string(most_free_pages + 1) + "\n", text);
    }
}

} // namespace
