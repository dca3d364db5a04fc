#include <csignal>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/signals.h"
#include "support/process_values.h"
#include "tests/common/syslog_capture.h"

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

} // namespace

// The handlers only set flags; the lines they owe come when the main flow
// asks, in the order of the signals, none lost to a flood. A signal ignored
// before start stays ignored and is reported.
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
