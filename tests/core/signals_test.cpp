#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/gv.h"
#include "core/signals.h"
#include "tests/core/signal_actions.h"
#include "tests/links/logged.h"

namespace {

sighandler_t handler_of(int sig) {
    struct sigaction action;
    sigaction(sig, nullptr, &action);
    return action.sa_handler;
}

// Every test leaves the process's signal actions and flags as it found them.
class Signals : public ::testing::Test {
  protected:
    void SetUp() override {
        stop = 0;
        usr1_flag = 0;
        syslog_capture::clear();
    }
    void TearDown() override {
        write_signal_lines();
        stop = 0;
        usr1_flag = 0;
    }
    DefaultSignalActions actions_;
};

// The wait status of a child that installs the handlers, sets `stop` as
// given, and raises `first` and then `second`; it exits with 0 when it
// survived both, 1 when only `first`.
int status_after(int preset_stop, int first, int second) {
    const pid_t child = fork();
    if (child == 0) {
        InstallParachute();
        stop = preset_stop;
        raise(first);
        if (stop != 1)
            _exit(2);
        raise(second);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

} // namespace

// The handlers write nothing; the lines they owe come when the main flow
// asks for them, in the order of the signals, none lost to a flood.
TEST_F(Signals, HandlersOnlySetFlagsAndTheLinesComeLaterInOrder) {
    InstallParachute();
    signal(SIGUSR1, Usr1Handler);
    raise(SIGUSR1);
    raise(SIGTERM);
    raise(SIGUSR1);
    EXPECT_EQ(logged(), "");
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(usr1_flag, 1);
    EXPECT_EQ(handler_of(SIGTERM), SIG_DFL);
    EXPECT_EQ(handler_of(SIGINT), Parachute);

    write_signal_lines();
    EXPECT_EQ(logged(), "Usr1Handler: USR1Parachute: signal = 15\nUsr1Handler: USR1");
    syslog_capture::clear();
    write_signal_lines();
    EXPECT_EQ(logged(), "");

    for (int i = 0; i < 200; ++i)
        raise(SIGUSR1);
    write_signal_lines();
    EXPECT_EQ(syslog_capture::matching("Usr1Handler: USR1").size(), 200u);
}

// A first fatal signal only asks the loop to stop; a second one, of the same
// kind or another, ends the process by its default action. So does the
// first one when the state-manager link has already set `stop`.
TEST_F(Signals, FatalSignalWhileStoppingEndsTheProcess) {
    struct Case {
        int preset_stop, first, second;
    } cases[] = {{0, SIGTERM, SIGTERM}, {0, SIGTERM, SIGINT}, {0, SIGINT, SIGTERM}};
    for (const Case& c : cases) {
        const int status = status_after(c.preset_stop, c.first, c.second);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.second)
            << c.first << " then " << c.second << ": status " << status;
    }
    const int status = status_after(1, SIGTERM, SIGTERM);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

// A signal ignored before start (SIGINT of a shell's background job) stays
// ignored and is reported; shutdown gives back only what Parachute held.
TEST_F(Signals, IgnoredSignalKeptAndReported) {
    signal(SIGINT, SIG_IGN);
    InstallParachute();
    EXPECT_EQ(logged(), "InstallParachute: Ignore signal 2\n");
    EXPECT_EQ(handler_of(SIGINT), SIG_IGN);
    EXPECT_EQ(handler_of(SIGTERM), Parachute);
    RemoveParachute();
    EXPECT_EQ(handler_of(SIGINT), SIG_IGN);
    EXPECT_EQ(handler_of(SIGTERM), SIG_DFL);
    EXPECT_EQ(handler_of(SIGSEGV), SIG_DFL);
}

// Children that end together raise one SIGCHLD: the handler reaps them all,
// and the errno of the code it interrupted survives.
TEST_F(Signals, ChildHandlerReapsEveryFinishedChild) {
    for (int i = 0; i < 3; ++i) {
        const pid_t child = fork();
        if (child == 0)
            _exit(0);
        siginfo_t info;
        ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    }
    errno = EAGAIN;
    sigchldhandler(SIGCHLD);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}
