#include <csignal>
#include <ctime>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/signals.h"
#include "support/process_values.h"
#include "support/signal_log.h"
#include "tests/common/files.h"
#include "tests/common/golden.h"
#include "tests/common/syslog_capture.h"

namespace {

// Set, the wall clock stands at this second; otherwise it is the real one.
long long realtime_fixed = -1;

} // namespace

extern "C" int clock_gettime(clockid_t clock, struct timespec* now) noexcept {
    if (clock == CLOCK_REALTIME && realtime_fixed >= 0) {
        now->tv_sec = static_cast<time_t>(realtime_fixed);
        now->tv_nsec = 0;
        return 0;
    }
    return static_cast<int>(syscall(SYS_clock_gettime, clock, now));
}

namespace {

const int handled[] = {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT, SIGINT, SIGTERM, SIGUSR1};

// Starts from default actions (a sanitizer keeps its own for the fault
// signals) and gives back what it found.
class Signals : public ::testing::Test {
  protected:
    void SetUp() override {
        for (size_t i = 0; i < std::size(handled); ++i) {
            sigaction(handled[i], nullptr, &saved_[i]);
            signal(handled[i], SIG_DFL);
        }
        stop = 0;
        usr1_flag = 0;
        syslog_capture::clear();
    }
    void TearDown() override {
        for (size_t i = 0; i < std::size(handled); ++i)
            sigaction(handled[i], &saved_[i], nullptr);
        write_signal_lines();
        stop = 0;
        usr1_flag = 0;
    }
    struct sigaction saved_[std::size(handled)];
};

// The wait status of a child that installs the handlers, sets `stop` as
// given and raises two signals; it exits with 0 when it survived both.
int status_after(int preset_stop, int first, int second) {
    const pid_t child = fork();
    if (child == 0) {
        InstallParachute();
        stop = preset_stop;
        raise(first);
        raise(second);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// A real fault: a write through a null pointer, kept from the sanitizers,
// which would report it before it happens.
__attribute__((no_sanitize("address", "undefined"))) void write_through_null() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

// A datagram socket bound at `path`, standing in for the system log.
int system_log_at(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    path.copy(address.sun_path, path.size());
    const int handle = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (handle != -1 &&
        bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(handle);
        return -1;
    }
    return handle;
}

// The records that reached the system log, one a line as sent, with the
// time stamp made "TIME " where it is the local time of a second between
// `from` and `to`, and the process id made "PID".
std::string records_at(int system_log, time_t from, time_t to, pid_t pid) {
    std::string records;
    char record[1024];
    ssize_t length = 0;
    while ((length = recv(system_log, record, sizeof record, MSG_DONTWAIT)) > 0)
        records.append(record, static_cast<size_t>(length));
    for (time_t second = from; second <= to; ++second) {
        struct tm local {};
        char stamp[32];
        localtime_r(&second, &local);
        strftime(stamp, sizeof stamp, "%b %e %H:%M:%S ", &local);
        records = replaced(records, stamp, "TIME ");
    }
    return replaced(records, "[" + std::to_string(pid) + "]", "[PID]");
}

} // namespace

// A fault ends the process by its own signal, as it would without the
// handler, and the handler itself sends its line to the system log as the C
// library's syslog would, after the line a first SIGTERM still owed.
TEST_F(Signals, FaultSendsItsLineAndTheOwedOnesToTheSystemLog) {
    const std::string path = empty_scratch_dir("signals") + "/log";
    const int system_log = system_log_at(path);
    ASSERT_NE(system_log, -1) << path;
    std::string produced;
    for (int first : {0, SIGTERM}) {
        const time_t from = time(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            open_signal_log("signals-test", path.c_str());
            InstallParachute();
            if (first != 0)
                raise(first);
            write_through_null();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
        produced += "first signal " + std::to_string(first) + ", then a fault:\n" +
                    records_at(system_log, from, time(nullptr), child);
    }
    close(system_log);
    EXPECT_TRUE(matches_golden("core/golden/fault.log", produced));
}

// A handler's time stamp needs no C library, yet follows its calendar:
// every day from 1970 to the end of the board's 32-bit clock, and on a
// 64-bit one on through 2100, a century without a 29 February, to 2400.
TEST_F(Signals, HandlerTimeStampsFollowTheCalendar) {
    const std::string path = empty_scratch_dir("signals") + "/calendar";
    const int system_log = system_log_at(path);
    ASSERT_NE(system_log, -1) << path;
    const char* const zone = getenv("TZ");
    const std::string kept = zone != nullptr ? zone : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_EQ(open_signal_log("calendar", path.c_str()), 0);
    const long long last_day = sizeof(time_t) == 8 ? 157200 : 24836;
    SignalText line;
    add_text(&line, "x");
    int wrong = 0;
    for (long long day = 0; day <= last_day && wrong < 5; ++day) {
        realtime_fixed = day * 86400 + 45296;
        send_signal_log_line("f", line);
        realtime_fixed = -1;
        char record[128] = {};
        const ssize_t length = recv(system_log, record, sizeof record - 1, 0);
        const time_t when = static_cast<time_t>(day * 86400 + 45296);
        struct tm utc {};
        char stamp[32];
        strftime(stamp, sizeof stamp, "%b %e %H:%M:%S ", gmtime_r(&when, &utc));
        if (length < 4 || std::string(record + 3).rfind(stamp, 0) != 0) {
            ADD_FAILURE() << "day " << day << ": " << record << " instead of " << stamp;
            ++wrong;
        }
    }
    close_signal_log();
    close(system_log);
    if (zone != nullptr)
        setenv("TZ", kept.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// The handlers only set flags; the lines they owe come when the main flow
// asks, in the order of the signals, none lost to a flood. A signal ignored
// before start stays ignored and is reported; once the handlers are removed,
// the others have their default actions again, and it is still ignored.
TEST_F(Signals, HandlersOnlySetFlagsAndTheLinesComeLaterInOrder) {
    signal(SIGINT, SIG_IGN);
    InstallParachute();
    signal(SIGUSR1, Usr1Handler);
    EXPECT_EQ(syslog_capture::logged(), "InstallParachute: Ignore signal 2\n");
    syslog_capture::clear();
    for (int sig : {SIGUSR1, SIGINT, SIGTERM, SIGUSR1})
        raise(sig);
    EXPECT_EQ(syslog_capture::logged(), "");
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(usr1_flag, 1);
    write_signal_lines();
    EXPECT_EQ(syslog_capture::logged(),
              "Usr1Handler: USR1Parachute: signal = 15\nUsr1Handler: USR1");

    syslog_capture::clear();
    for (int i = 0; i < 200; ++i)
        raise(SIGUSR1);
    write_signal_lines();
    EXPECT_EQ(syslog_capture::matching("Usr1Handler: USR1").size(), 200u);

    RemoveParachute();
    for (int sig : {SIGSEGV, SIGQUIT, SIGINT, SIGTERM}) {
        struct sigaction action;
        ASSERT_EQ(sigaction(sig, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, sig == SIGINT ? SIG_IGN : SIG_DFL) << sig;
    }
}

// A first fatal signal only asks the loop to stop; one while `stop` is set
// (by a first one, or by the state-manager link) ends the process at once.
TEST_F(Signals, FatalSignalWhileStoppingEndsTheProcess) {
    const struct {
        int preset_stop, first, second, ending;
    } cases[] = {
        {0, SIGTERM, SIGTERM, SIGTERM}, {0, SIGINT, SIGTERM, SIGTERM}, {1, SIGINT, 0, SIGINT}};
    for (const auto& c : cases) {
        const int status = status_after(c.preset_stop, c.first, c.second);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.ending)
            << c.first << " " << status;
    }
}
