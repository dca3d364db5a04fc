// An entry and an exit board share their net-base while cars come and go
// every fraction of a second, each frame that shows one a passage
// (single-frame recognition), and the power of each is cut (SIGKILL) at
// random moments, a hundred times per board; each time the runner starts the
// service again, as systemd's Restart=on-failure does. What the journals and
// archives hold at the end must be whole but for a torn end.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/boards.h"
#include "tests/storage/storage_checks.h"

namespace {

const char RUN[] = "power-cuts";
const uint32_t SEED = 19451;
const int CUTS_PER_BOARD = 100;
// Scenario seconds per real second, and in scenario seconds: how long a car
// stands at the barrier and the road stays empty after it, the span of the
// cuts, and the last life's time before the stop, in which it decides cars
// whatever the load of the machine.
const char SPEED[] = "2";
const int CAR_MS = 400;
const int GAP_MS = 400;
const int FIRST_CUT_MS = 2000;
const int LAST_CUT_MS = 62000;
const int STOP_MS = LAST_CUT_MS + 10000;

// Three cars of an owner with two places, one of an owner with one place, a
// car without owner, and a stranger.
const char* const BODIES[] = {"A101AA", "A102AA", "A103AA", "B201BB", "C301CC", "X999XX"};
const char REGION[] = "77";

const char* const BOARD_NAMES[] = {"entry", "exit"};

std::vector<std::string> numbers() {
    std::vector<std::string> all;
    for (const char* body : BODIES)
        all.push_back(std::string(body) + REGION);
    return all;
}

std::string seconds(int ms) {
    char text[32];
    snprintf(text, sizeof text, "%d.%03d", ms / 1000, ms % 1000);
    return text;
}

// The cars in turn and the cuts at moments drawn from `random`, whole
// milliseconds apart from the start. Both boards see the same car at the
// same moment, so the entry and the exit service often decide one number
// at once.
std::string scenario(std::mt19937& random) {
    std::string text;
    for (int i = 0, at = 0; at < STOP_MS; ++i, at += CAR_MS + GAP_MS) {
        text += seconds(at) + " car " + BODIES[i % std::size(BODIES)] + " " + REGION + "\n" +
                seconds(at + CAR_MS) + " empty\n";
    }
    for (int cut = 0; cut < CUTS_PER_BOARD; ++cut) {
        const int at = FIRST_CUT_MS + static_cast<int>(random() % (LAST_CUT_MS - FIRST_CUT_MS));
        text += seconds(at) + " signal KILL\n";
    }
    return text + seconds(STOP_MS) + " stop\n";
}

std::vector<BoardSetup> boards() {
    std::mt19937 random(SEED);
    const std::string ini = inputs::streams_ini(true, "[disc0]\nON = 1\nmountpoint = /mnt/disc0\n");
    const std::string access =
        inputs::access_csv({"A101AA77,Petrov,2,,", "A102AA77,Petrov,2,,", "A103AA77,Petrov,2,,",
                            "B201BB77,Sidorov,1,,", "C301CC77,,,,"});
    const char* const directions[] = {"in", "out"};
    std::vector<BoardSetup> setups;
    for (int b = 0; b < 2; ++b) {
        setups.push_back({RUN,
                          BOARD_NAMES[b],
                          ini,
                          "UTC0\n",
                          access,
                          scenario(random),
                          {"--direction", directions[b], "--speed", SPEED, "--restart",
                           "on-failure", "--stream", "none"},
                          {}});
    }
    return setups;
}

const RegisterBoards registered(boards());

// What the runner noted: seconds from the service's first start, and what.
struct Note {
    double at;
    std::string what;
};

std::vector<Note> notes_of(const BoardRun& run) {
    std::vector<Note> notes;
    std::istringstream in(run.file("actions"));
    for (std::string line; std::getline(in, line);) {
        Note note;
        std::istringstream fields(line);
        if (fields >> note.at && std::getline(fields >> std::ws, note.what))
            notes.push_back(note);
    }
    return notes;
}

size_t count_starting(const std::vector<Note>& notes, const std::string& prefix) {
    size_t count = 0;
    for (const Note& note : notes)
        count += note.what.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return count;
}

double file_time(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return 0;
    return static_cast<double>(status.st_mtim.tv_sec) +
           static_cast<double>(status.st_mtim.tv_nsec) / 1e9;
}

// The board's last cut in file-system time: the runner's last note, its end,
// was written when the notes file was last changed.
double last_cut_time(const BoardRun& run) {
    const std::vector<Note> notes = notes_of(run);
    double cut = -1;
    for (const Note& note : notes)
        cut = note.what == "signal SIGKILL" ? note.at : cut;
    if (notes.empty() || cut < 0)
        return 0;
    return file_time(run.path("actions")) - (notes.back().at - cut);
}

// What a board keeps: its archive, and in its /tmp the latest snapshot and
// the temporary file a cut may leave beside it (the previews may be torn).
StorageTree board_tree(const BoardRun& run) {
    StorageTree tree;
    read_tree(run.path("mnt"), &tree);
    for (const std::string latest : {"tmp/last_recognized.jpeg", "tmp/last_recognized.jpeg.tmp"}) {
        if (access(run.path(latest).c_str(), F_OK) == 0)
            tree[run.path(latest)] = run.file(latest);
    }
    return tree;
}

void add(Problems* to, const Problems& more) {
    to->insert(to->end(), more.begin(), more.end());
}

// The runner started the service again after every cut that hit it, the
// service never ended on its own, and its last life decided cars before the
// stop.
TEST_F(Boards, EveryCutIsFollowedByARestartAndTheLastLifeDecidesCars) {
    std::ostringstream tally;
    for (const char* name : BOARD_NAMES) {
        BoardRun run(RUN, name);
        const std::vector<Note> notes = notes_of(run);
        const size_t tried = count_starting(notes, "signal SIGKILL");
        const size_t hit = count_starting(notes, "restart after signal 9");
        const size_t restarts = count_starting(notes, "restart after ");
        // A cut due while the board is still down from the one before
        // finds no service; most find one.
        EXPECT_EQ(tried, static_cast<size_t>(CUTS_PER_BOARD)) << name;
        EXPECT_GT(hit, tried / 2) << name;
        EXPECT_EQ(restarts, hit) << name << ": the service ended on its own\n" << run.file("exit");
        EXPECT_EQ(run.end(), "exit 0") << name;

        const std::vector<std::string> log = run.log();
        const auto last_start = std::find(log.rbegin(), log.rend(), "main: Start.");
        ASSERT_NE(last_start, log.rend()) << name;
        const auto decided = std::find_if(log.rbegin(), last_start, [](const std::string& text) {
            return text.rfind("test_recognized_number: recognized number: ", 0) == 0;
        });
        EXPECT_NE(decided, last_start) << name << ": the last life decided no car";

        tally
            << name << " " << tried << " cuts tried, " << hit << " hit a running service, "
            << restarts << " restarts, "
            << run.passbase("mnt/disc0/" + std::string(inputs::DEVICE_ID) + "/passbase.tpp").size()
            << " passages archived; ";
    }
    tally << netpass_records(run_folder(RUN) + "/net-base").size()
          << " passages in the pass journal";
    std::cout << "power cuts: " << tally.str() << "\n";
}

TEST_F(Boards, AfterTheCutsJournalsAndArchivesAreWholeButForATornEnd) {
    StorageTree all;
    read_tree(run_folder(RUN) + "/net-base", &all);
    Problems problems;
    for (const char* name : BOARD_NAMES) {
        BoardRun run(RUN, name);
        const StorageTree tree = board_tree(run);
        all.insert(tree.begin(), tree.end());
        // A cut leaves the temporary file it interrupted, which the next
        // life removes or replaces with its first passage.
        const double last_cut = last_cut_time(run);
        for (const auto& [path, bytes] : tree) {
            if (path.size() > 4 && path.compare(path.size() - 4, 4, ".tmp") == 0 &&
                file_time(path) < last_cut)
                problems.push_back(path + ": left from before the board's last cut");
        }
    }
    ASSERT_NE(all.size(), 0u);
    add(&problems, whole_files(cut_to_whole(without_temporaries(all))));
    add(&problems, numbers_in_place(all, numbers()));
    add(&problems, one_record_per_car(all));
    for (const std::string& problem : problems)
        ADD_FAILURE() << problem;
}

} // namespace
