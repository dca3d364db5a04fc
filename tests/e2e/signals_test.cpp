#include <algorithm>

#include "tests/e2e/boards.h"

namespace {

const char RUN[] = "signals";
const char RELOAD[] = "load_access_base: Loading access base from /var/local//accessbase.tpa";

const RegisterBoards boards({
    // Two SIGUSR1 arrive during start-up; while running, the base gains the
    // car before one more SIGUSR1.
    {RUN,
     "reload",
     inputs::streams_ini(false),
     "",
     inputs::access_csv({"Z999ZZ,,,,"}),
     "0 empty\n"
     "1 run accessbase -f /var/local/accessbase.tpa add A123BC77\n"
     "1.5 signal USR1\n"
     "2.5 car A123BC 77\n"
     "4 empty\n"
     "5 stop\n",
     {"--startup-signal", "USR1", "--startup-signal", "USR1", "--direction", "in"},
     {}},
    {RUN,
     "stopped",
     inputs::streams_ini(false),
     "",
     "",
     "0 empty\n1 signal INT\n2 stop\n",
     {"--ignore", "INT"},
     {}},
    // Both fatal signals are pending when the service goes on: the handler
    // that runs second finds the stop already asked for.
    {RUN,
     "killed",
     inputs::streams_ini(false),
     "",
     "",
     "0 empty\n1 signal STOP TERM QUIT CONT\n3 stop\n",
     {},
     {}},
});

size_t count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST_F(Boards, SigusrOneReloadsTheBaseOnceForSignalsBeforeAnIteration) {
    BoardRun run(RUN, "reload");
    const std::vector<std::string> log = run.log();
    EXPECT_EQ(count(log, "Usr1Handler: USR1"), 3u);
    // At start-up, once for the two signals of start-up, once while running.
    EXPECT_EQ(count(log, RELOAD), 3u);
    const std::vector<_netpass_rec_t> records = netpass_records(run_folder(RUN) + "/net-base");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].number, "A123BC77");
    EXPECT_EQ(records[0].in_list, 1);
}

TEST_F(Boards, SigtermEndsWithTheExitLineAndAnIgnoredSigintIsReportedOnly) {
    BoardRun run(RUN, "stopped");
    EXPECT_EQ(run.end(), "exit 0");
    const std::vector<std::string> log = run.log();
    EXPECT_EQ(count(log, "InstallParachute: Ignore signal 2"), 1u);
    EXPECT_EQ(count(log, "Parachute: signal = 15"), 1u);
    EXPECT_EQ(count(log, "Parachute: signal = 2"), 0u);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "main: Exit.");
}

TEST_F(Boards, ASecondFatalSignalEndsTheServiceAtOnce) {
    BoardRun run(RUN, "killed");
    // The kernel runs the handler of the higher signal first.
    EXPECT_EQ(run.end(), "signal 3");
    EXPECT_EQ(count(run.log(), "main: Exit."), 0u);
}

} // namespace
