// An entry and an exit board decide passages on one net-base while their
// power is cut at random moments (SIGKILL), 200 times with a fixed seed;
// after each cut the board starts again and goes on. What the journals and
// archives hold at the end must be whole but for a torn end and the
// temporary files of the last cuts, and the next passages must straighten
// that end and clear those files. Ends torn by a disk that took part of a
// write are the storage faults' half-written cases.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/faultfs/private_storage.h"
#include "tests/faultfs/storage_world.h"

namespace {

const char WORLD[] = "faultfs-power";
const uint32_t SEED = 20090314;
const int CUTS = 200;
const long T0 = 1237010709;

struct Board {
    const char* device;
    int barrier;
};
const Board BOARDS[] = {{"entry", 1}, {"exit", -1}};

const std::vector<std::string> NUMBERS = {OWNER_CAR, OTHER_OWNER_CAR, OWNERLESS_CAR, "X999XX"};

// Each life of a board decides at times of its own, later than those of its
// earlier lives.
long passage_time(int life, long passage) {
    return T0 + life * 100000L + passage;
}

// The latest life of the board that has decided a passage writes its number
// here.
std::string decided_file(const StorageWorld& world, const Board& board) {
    return world.root + "/decided-" + board.device;
}

[[noreturn]] void live(const StorageWorld& world, const Board& board, int life) {
    snprintf(gv_deviceid, sizeof gv_deviceid, "%s", board.device);
    // A burst, yet one the storage holds for all 200 lives.
    const timespec pause = {0, 1000000};
    for (long i = 0;; ++i) {
        passage(passage_time(life, i), NUMBERS[(i + life) % 4].c_str(), board.barrier);
        if (i == 0)
            write_text_file(decided_file(world, board), std::to_string(life));
        nanosleep(&pause, nullptr);
    }
}

pid_t start(const StorageWorld& world, const Board& board, int life) {
    const pid_t pid = fork();
    if (pid == 0)
        live(world, board, life);
    return pid;
}

void cut(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A cut before a life's first passage leaves what the life before it left,
// which that first passage clears. Waits until the last life of each board
// has decided one; false when one has not after two minutes (a slow
// emulator included).
bool last_lives_decided(const StorageWorld& world, const int (&lives)[2]) {
    for (int waited = 0; waited < 120000; ++waited) {
        if (read_text_file(decided_file(world, BOARDS[0])) == std::to_string(lives[0]) &&
            read_text_file(decided_file(world, BOARDS[1])) == std::to_string(lives[1]))
            return true;
        usleep(1000);
    }
    return false;
}

void add(Problems* to, const Problems& more) {
    to->insert(to->end(), more.begin(), more.end());
}

std::vector<std::string> cut_power(StorageWorld& world) {
    world.create(WORLD, {BOARDS[0].device, BOARDS[1].device});
    std::minstd_rand random(SEED);
    int lives[2] = {0, 0};
    pid_t boards[2] = {start(world, BOARDS[0], 0), start(world, BOARDS[1], 0)};
    for (int i = 0; i < CUTS; ++i) {
        const int which = static_cast<int>(random() % 2);
        usleep(static_cast<useconds_t>(random() % 15000));
        cut(boards[which]);
        boards[which] = start(world, BOARDS[which], ++lives[which]);
    }
    Problems problems;
    if (!last_lives_decided(world, lives))
        problems.push_back("the last life of a board decided no passage");
    // The whole site loses its power.
    for (pid_t board : boards)
        cut(board);

    const StorageTree left = world.snapshot();
    // The temporary files of the last cuts stay until the next passages.
    StorageTree kept = left;
    for (auto file = kept.begin(); file != kept.end();)
        file = file->first.size() > 4 && file->first.compare(file->first.size() - 4, 4, ".tmp") == 0
                   ? kept.erase(file)
                   : std::next(file);
    add(&problems, whole_files(cut_to_whole(kept)));
    add(&problems, one_record_per_car(left));
    add(&problems, numbers_in_place(left, NUMBERS));

    // Power again: one more passage on each board, after which every
    // journal is whole.
    for (int b = 0; b < 2; ++b) {
        const pid_t pid = fork();
        if (pid == 0) {
            snprintf(gv_deviceid, sizeof gv_deviceid, "%s", BOARDS[b].device);
            passage(passage_time(lives[b] + 1, 0), OWNERLESS_CAR, BOARDS[b].barrier);
            _exit(0);
        }
        waitpid(pid, nullptr, 0);
    }
    const StorageTree after = world.snapshot();
    // The occupancy journal is cut back only when a record is appended; a
    // rewrite in place leaves its end as it was.
    const StorageTree whole = cut_to_whole(after);
    for (const auto& [path, bytes] : after) {
        if (bytes != whole.at(path) && path.find("/netnumbase.tpn") == std::string::npos)
            problems.push_back(path + ": still torn after a passage appended to it");
    }
    add(&problems, whole_files(whole));
    add(&problems, one_record_per_car(after));
    add(&problems, numbers_in_place(after, NUMBERS));
    problems.push_back(std::to_string(CUTS) + " cuts (" + std::to_string(lives[0]) +
                       " of the entry, " + std::to_string(lives[1]) + " of the exit)");
    return problems;
}

TEST(PowerCuts, TwoBoardsCutAtRandomMoments) {
    StorageWorld world;
    world.create(WORLD);
    std::vector<std::string> lines;
    const auto work = [&world] {
        world.private_tmp = true;
        return cut_power(world);
    };
    if (!run_on_private_storage(world.root, "size=256m", work, &lines)) {
        lines = cut_power(world);
        // A cut may have left the latest snapshot's temporary file in the
        // /tmp that everything here shares.
        unlink((std::string(gv_last_recognized_jpeg) + ".tmp").c_str());
    }
    report("power cuts", lines, std::to_string(CUTS) + " cuts");
}

} // namespace
