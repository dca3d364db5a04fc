#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/statemgr/stmcc.h"
#include "platform/statemgr/stmgrclient_cmd.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

std::string read_all(FILE* file) {
    std::string text(static_cast<size_t>(ftell(file)), '\0');
    rewind(file);
    text.resize(fread(&text[0], 1, text.size(), file));
    fclose(file);
    return text;
}

// Runs a command line as `stmgrclient ARGS...` would, in-process: its exit
// status and what it wrote to stdout and to stderr, as "status|out|err".
std::string run(std::vector<std::string> args) {
    args.insert(args.begin(), "stmgrclient");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    int status = stmgrclient_main(static_cast<int>(args.size()), argv.data(), out, err);
    return std::to_string(status) + "|" + read_all(out) + "|" + read_all(err);
}

// The lines a watch printed, each checked for its "YYYY-MM-DD HH:MM:SS.mmm "
// stamp of this century and given without it.
std::string watched(stmcc_t* watcher, long count, long seconds) {
    FILE* out = tmpfile();
    EXPECT_EQ(stmgrclient_print_notices(watcher, count, seconds, out), STMCC_OK);
    const std::string text = read_all(out);
    std::string lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end + 1 - at);
        bool stamped = line.size() > 24 && line.compare(0, 2, "20") == 0 && line[10] == ' ' &&
                       line[19] == '.' && line[23] == ' ';
        EXPECT_TRUE(stamped) << line;
        lines += stamped ? line.substr(24) : line;
    }
    return lines;
}

} // namespace

// A bad command line is told at once, with what is wrong and the usage, and
// never reaches the state manager half-parsed (none listens here: trying
// would end with 1).
TEST(Stmgrclient, BadCommandLinesSayWhatIsWrong) {
    StateManagerDaemon absent;
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{}, "no command given"},
        {{"bogus"}, "unknown command 'bogus'"},
        {{"rise"}, "rise takes an EVENT and at most a VALUE"},
        {{"rise", "e_x", "1x"},
         "rise: VALUE '1x' is not a whole number from -2147483648 to "
         "2147483647"},
        {{"rise", "two words"},
         "rise: 'two words': invalid name: states and events are named by "
         "1 to 31 printable ASCII characters without blanks"},
        {{"set", "s_make_photo"}, "set takes a STATE and a VALUE"},
        {{"set", "s_make_photo", ""}, "VALUE '' is not a whole number"},
        {{"set", "s_make_photo", "99999999999999999999"}, "VALUE '99999999999999999999'"},
        {{"get", std::string(32, 's')}, "get: '" + std::string(32, 's') + "': invalid name"},
        {{"watch", "-n"}, "watch: -n needs COUNT"},
        {{"watch", "-n", "0"}, "watch: COUNT '0' is not a whole number from 1 to 2147483647"},
        {{"watch", "-t", "1", "-t", "2"}, "watch: -t given twice"},
        {{"watch", "-x", "1"}, "watch: unknown option '-x'"},
        {{"clients", "more"}, "clients takes no arguments"}};
    for (const auto& args : bad) {
        const std::string result = run(args.first);
        EXPECT_EQ(result.find("2||stmgrclient: "), 0u) << result;
        EXPECT_NE(result.find(args.second), std::string::npos) << result;
        EXPECT_NE(result.find("\nUsage: stmgrclient"), std::string::npos) << result;
    }
    EXPECT_EQ(run({"--help"}).find("0|Usage: stmgrclient"), 0u);
}

// The commands as the service and an operator use them. A watch prints one
// line per change or event, also for those that came while the watcher
// waited for a reply of its own; a count bound leaves the rest for later, a
// time bound ends a quiet watch without error.
TEST(Stmgrclient, CommandsReachTheStateManagerAndWatchShowsThem) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* watcher = started_client("watcher");
    ASSERT_EQ(stmcc_set_state(watcher, "s_before", 1), STMCC_OK); // not watched yet
    ASSERT_EQ(stmcc_watch(watcher), STMCC_OK);
    EXPECT_EQ(run({"rise", "e_access_grntd"}), "0||");
    EXPECT_EQ(run({"rise", "e_signal0", "-1"}), "0||");
    EXPECT_EQ(run({"set", "s_make_photo", "1"}), "0||");
    ASSERT_EQ(stmcc_set_state(watcher, "s_mine", -3), STMCC_OK);
    EXPECT_EQ(watched(watcher, 3, 10),
              "event e_access_grntd 0\nevent e_signal0 -1\nstate s_make_photo 1\n");
    EXPECT_EQ(watched(watcher, 0, 1), "state s_mine -3\n");
    // A bound of years must not overflow a 32-bit long into no bound at all.
    ASSERT_EQ(stmcc_event_notify(watcher, "e_late", 4), STMCC_OK);
    EXPECT_EQ(watched(watcher, 1, INT_MAX), "event e_late 4\n");

    EXPECT_EQ(run({"get", "s_make_photo"}), "0|1\n|");
    EXPECT_EQ(run({"get", "s_nothing"}), "1||stmgrclient: get: no such state or client\n");
    EXPECT_EQ(run({"clients"}).find("0|watcher 7 "), 0u);

    // A full disk is an error, not a quiet end.
    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    ASSERT_EQ(stmcc_event_notify(watcher, "e_lost", 1), STMCC_OK);
    EXPECT_EQ(stmgrclient_print_notices(watcher, 1, 10, full), -1);
    std::vector<std::string> words = {"stmgrclient", "get", "s_make_photo"};
    std::vector<char*> argv = {&words[0][0], &words[1][0], &words[2][0]};
    FILE* err = tmpfile();
    EXPECT_EQ(stmgrclient_main(3, argv.data(), full, err), 1);
    EXPECT_EQ(read_all(err), "stmgrclient: cannot write the output: No space left on device\n");
    fclose(full);

    daemon.stop();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 0, 0, stdout), STMCC_ERR_CLOSED);
    stmcc_delete(watcher);
    EXPECT_EQ(run({"rise", "e_access_grntd"}),
              "1||stmgrclient: start: state manager not running\n");
}

// At the limit a client is refused, and told why; so is the operator.
TEST(Stmgrclient, RefusedAtTheLimitSaysWhy) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    std::vector<stmcc_t*> clients;
    for (int i = 0; i < STMD_MAX_CLIENTS; i++) {
        clients.push_back(started_client(("client " + std::to_string(i)).c_str()));
        ASSERT_NE(clients.back(), nullptr) << i;
    }
    EXPECT_EQ(run({"get", "s_make_photo"}),
              "1||stmgrclient: start: the state manager refused the connection: it has too many "
              "clients\n");
    for (stmcc_t* client : clients)
        stmcc_delete(client);
}

// The stamp is local time (TZ stays set for the rest of this program), the
// milliseconds cut, not rounded.
TEST(Stmgrclient, NoticeTimeIsLocalWithMilliseconds) {
    setenv("TZ", "UTC-3", 1);
    tzset();
    char line[128];
    stmgrclient_format_notice({STMCC_NOTICE_STATE, "s_make_photo", 1, 0, 999999}, line,
                              sizeof line);
    EXPECT_STREQ(line, "1970-01-01 03:00:00.999 state s_make_photo 1\n");
    stmgrclient_format_notice({STMCC_NOTICE_EVENT, "e_signal0", -2147483647 - 1, 1000000000, 5000},
                              line, sizeof line);
    EXPECT_STREQ(line, "2001-09-09 04:46:40.005 event e_signal0 -2147483648\n");
}
