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
    EXPECT_EQ(watched(watcher, 3, 60),
              "event e_access_grntd 0\nevent e_signal0 -1\nstate s_make_photo 1\n");
    EXPECT_EQ(watched(watcher, 1, 60), "state s_mine -3\n");
    EXPECT_EQ(watched(watcher, 0, 1), "");
    // A bound of years must not overflow a 32-bit long into no bound at all.
    ASSERT_EQ(stmcc_event_notify(watcher, "e_late", 4), STMCC_OK);
    EXPECT_EQ(watched(watcher, 1, INT_MAX), "event e_late 4\n");

    EXPECT_EQ(run({"get", "s_make_photo"}), "0|1\n|");
    EXPECT_EQ(run({"get", "s_nothing"}), "1||stmgrclient: get: no such state or client\n");
    EXPECT_EQ(run({"clients"}).find("0|watcher 7 "), 0u);

    daemon.stop();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 0, 0, stdout), STMCC_ERR_CLOSED);
    stmcc_delete(watcher);
    EXPECT_EQ(run({"rise", "e_access_grntd"}),
              "1||stmgrclient: start: state manager not running\n");
}
