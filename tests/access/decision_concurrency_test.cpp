#include <algorithm>
#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <vector>

#include "tests/access/decision_fixture.h"

namespace {

const int decisions = 500;
const int shared_phase = 400; // then each side keeps to numbers of its own
const int cars = 20;
// Records of other cars before them: reading past these makes each update
// long enough that the two sides' updates of one car overlap.
const int others = 5000;

// The number and time of one side's i-th passage: both sides go through the
// same numbers in the same order until the last phase, where the entry keeps
// to the first half of them and the exit to the second. Times never repeat.
std::string number_of(int barrier, int i) {
    const int car = i < shared_phase ? i % cars : (barrier == 1 ? 0 : cars / 2) + i % (cars / 2);
    return "C1" + std::to_string(10 + car);
}
long time_of(int barrier, int i) {
    return passage_time + 2 * i + (barrier == 1 ? 0 : 1);
}

void wait_for_both(std::atomic<int>* arrived, int target) {
    arrived->fetch_add(1);
    while (arrived->load() < target)
        sched_yield();
}

// One service in a child process: no stream, and no state manager client
// on PATH, so the barrier command fails at once and quietly.
[[noreturn]] void run_service(int barrier, std::atomic<int>* arrived, const std::string& no_bin) {
    gv.shm_connection = nullptr;
    setenv("PATH", no_bin.c_str(), 1);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDERR_FILENO);
    std::vector<unsigned char> frame(32 * 16 * 3 / 2, 100);
    gv_barrier_type = barrier;
    for (int i = 0; i < decisions; ++i) {
        // In step, so that both sides meet on the same car at the same moment.
        wait_for_both(arrived, 2 * (i + 1));
        test_recognized_number(time_of(barrier, i), number_of(barrier, i).c_str(), 2, frame.data(),
                               32, 16);
    }
    _exit(0);
}

std::string csv_line(long time, const std::string& number, int access) {
    char date[32];
    const time_t when = time;
    strftime(date, sizeof date, "%d-%m-%Y;%H:%M:%S", gmtime(&when));
    return std::string(date) + ";" + number + ";2;1;" + std::to_string(access) + ";" +
           cp1251("Разрешено автоматически по списку") + ";Fleet,0;0;unknown\n";
}

} // namespace

// An entry and an exit service make 500 decisions each at the same moment on
// the same journals. Nothing is lost, doubled or torn: one occupancy record
// per car that carries its last entry and its last exit, every pass record
// and line whole.
TEST_F(DecisionTest, EntryAndExitServicesShareTheJournals) {
    load_base({access_record("C1??", "Fleet,0")});
    std::vector<_netnum_rec_t> journal;
    for (int i = 0; i < others; ++i)
        journal.push_back(netnum_record(("X" + std::to_string(i)).c_str(), "", 0, 0));
    write_text_file(net_ + "/netnumbase.tpn", bytes_of(journal));
    write_text_file(root_ + "/conf/streams.ini", "[disc0]\nON = 0\n");
    const std::string no_bin = root_ + "/no-bin";
    mkdir(no_bin.c_str(), 0700);
    auto* arrived = static_cast<std::atomic<int>*>(mmap(nullptr, sizeof(std::atomic<int>),
                                                        PROT_READ | PROT_WRITE,
                                                        MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(arrived, MAP_FAILED);
    new (arrived) std::atomic<int>(0);

    pid_t children[2];
    const int barriers[2] = {1, -1};
    for (int side = 0; side < 2; ++side) {
        children[side] = fork();
        ASSERT_GE(children[side], 0);
        if (children[side] == 0)
            run_service(barriers[side], arrived, no_bin);
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    munmap(arrived, sizeof(std::atomic<int>));

    std::map<std::string, long> last_entry, last_exit;
    std::vector<std::string> expected_lines;
    for (int barrier : barriers) {
        for (int i = 0; i < decisions; ++i) {
            const std::string number = number_of(barrier, i);
            const long time = time_of(barrier, i);
            (barrier == 1 ? last_entry : last_exit)[number] = time;
            expected_lines.push_back(csv_line(time, number, barrier));
        }
    }

    journal = occupancy();
    EXPECT_EQ(journal.size(), static_cast<size_t>(others + cars));
    std::map<std::string, int> seen;
    for (const _netnum_rec_t& rec : journal) {
        const std::string number = field(rec.number);
        if (number[0] == 'X')
            continue;
        ++seen[number];
        const bool entered_last = last_entry[number] > last_exit[number];
        EXPECT_EQ(rec.places, entered_last ? 1 : 0) << number;
        EXPECT_EQ(rec.in_time, last_entry[number]) << number;
        EXPECT_EQ(rec.out_time, last_exit[number]) << number;
    }
    for (const auto& count : seen)
        EXPECT_EQ(count.second, 1) << count.first;

    // Every record whole (a torn one fails here) and every line as written.
    EXPECT_EQ(passes().size(), 2u * decisions);
    std::vector<std::string> lines = read_lines(net_ + "/netpassbase.csv");
    std::sort(lines.begin(), lines.end());
    std::sort(expected_lines.begin(), expected_lines.end());
    EXPECT_TRUE(lines == expected_lines);
}
