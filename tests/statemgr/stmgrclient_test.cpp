#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/statemgr/stmcc.h"
#include "platform/statemgr/stmgrclient_cmd.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string read_all(FILE* file) {
    std::string text;
    rewind(file);
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    fclose(file);
    return text;
}

// Runs a command line as `stmgrclient ARGS...` would, in-process.
Outcome run(std::vector<std::string> args) {
    args.insert(args.begin(), "stmgrclient");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    int status = stmgrclient_main(static_cast<int>(args.size()), argv.data(), out, err);
    return {status, read_all(out), read_all(err)};
}

} // namespace

// A bad command line is told at once, with the usage, and never reaches the
// state manager half-parsed.
TEST(Stmgrclient, BadCommandLinesPrintUsageAndFail) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"bogus"},
        {"rise"},
        {"rise", "e_access_grntd", "1x"},
        {"rise", "e_access_grntd", "1", "2"},
        {"set", "s_make_photo"},
        {"set", "s_make_photo", ""},
        {"set", "s_make_photo", "one"},
        {"set", "s_make_photo", "99999999999999999999"},
        {"get"},
        {"get", "a", "b"},
        {"watch", "-n"},
        {"watch", "-n", "0"},
        {"watch", "-n", "2", "-n", "3"},
        {"watch", "-t", "-5"},
        {"watch", "-x", "1"},
        {"clients", "more"},
        {"--help", "me"},
    };
    for (const auto& args : bad) {
        Outcome result = run(args);
        std::string line = args.empty() ? "(none)" : args[0] + (args.size() > 1 ? " ..." : "");
        EXPECT_EQ(result.status, 2) << line;
        EXPECT_NE(result.err.find("Usage: stmgrclient"), std::string::npos) << line;
        EXPECT_EQ(result.out, "") << line;
    }
    int value = 0;
    stmcc_t* observer = started_client("observer");
    EXPECT_EQ(stmcc_get_state(observer, "s_make_photo", &value), STMCC_ERR_UNKNOWN);
    stmcc_delete(observer);

    Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("rise EVENT"), std::string::npos);
    EXPECT_EQ(help.err, "");
}

// The commands as the service and an operator use them.
TEST(Stmgrclient, CommandsReachTheStateManager) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* watcher = started_client("watcher");
    ASSERT_NE(watcher, nullptr);
    ASSERT_EQ(stmcc_watch(watcher), STMCC_OK);

    Outcome rise = run({"rise", "e_access_grntd"});
    EXPECT_EQ(rise.status, 0) << rise.err;
    stmcc_notice_t notice;
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_EVENT);
    EXPECT_STREQ(notice.name, "e_access_grntd");
    EXPECT_EQ(notice.value, 0);

    EXPECT_EQ(run({"rise", "e_signal0", "-1"}).status, 0);
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.value, -1);

    EXPECT_EQ(run({"set", "s_make_photo", "1"}).status, 0);
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_STATE);
    EXPECT_STREQ(notice.name, "s_make_photo");

    Outcome get = run({"get", "s_make_photo"});
    EXPECT_EQ(get.status, 0);
    EXPECT_EQ(get.out, "1\n");
    Outcome unknown = run({"get", "s_nothing"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "stmgrclient: get: no such state or client\n");
    Outcome too_long = run({"set", std::string(40, 's'), "1"});
    EXPECT_EQ(too_long.status, 1);
    EXPECT_EQ(too_long.err, "stmgrclient: set: invalid name\n");

    Outcome clients = run({"clients"});
    EXPECT_EQ(clients.status, 0);
    EXPECT_EQ(clients.out.find("watcher 7 "), 0u) << clients.out;
    EXPECT_NE(clients.out.find("\nstmgrclient."), std::string::npos) << clients.out;
    stmcc_delete(watcher);

    daemon.stop();
    Outcome absent = run({"rise", "e_access_grntd"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "stmgrclient: start: state manager not running\n");
}

// One line per change or event, in the documented form, each whole.
TEST(Stmgrclient, WatchPrintsOneLinePerNotice) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* watcher = started_client("watcher");
    stmcc_t* actor = started_client("actor");
    ASSERT_NE(watcher, nullptr);
    ASSERT_NE(actor, nullptr);
    ASSERT_EQ(stmcc_watch(watcher), STMCC_OK);
    ASSERT_EQ(stmcc_set_state(actor, "s_make_photo", 1), STMCC_OK);
    ASSERT_EQ(stmcc_event_notify(actor, "e_signal0", 0), STMCC_OK);
    ASSERT_EQ(stmcc_event_notify(actor, "e_access_grntd", 0), STMCC_OK);

    FILE* out = tmpfile();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 2, 0, out), STMCC_OK);
    std::string text = read_all(out);
    std::regex lines("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} state s_make_photo 1\n"
                     "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} event e_signal0 0\n");
    EXPECT_TRUE(std::regex_match(text, lines)) << text;

    // The third notice is still there for the next watch; then a time bound
    // ends a quiet watch without an error.
    out = tmpfile();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 0, 1, out), STMCC_OK);
    text = read_all(out);
    EXPECT_NE(text.find(" event e_access_grntd 0\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);

    daemon.kill_now();
    out = tmpfile();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 0, 0, out), STMCC_ERR_CLOSED);
    EXPECT_EQ(read_all(out), "");
    stmcc_delete(watcher);
    stmcc_delete(actor);
}

TEST(Stmgrclient, NoticeTimeIsLocalWithMilliseconds) {
    const char* saved = getenv("TZ");
    std::string kept = saved != nullptr ? saved : "";
    setenv("TZ", "UTC-3", 1);
    tzset();
    stmcc_notice_t notice = {STMCC_NOTICE_STATE, "s_make_photo", 1, 0, 999999};
    char line[128];
    stmgrclient_format_notice(notice, line, sizeof line);
    EXPECT_STREQ(line, "1970-01-01 03:00:00.999 state s_make_photo 1\n");
    notice = {STMCC_NOTICE_EVENT, "e_signal0", -2147483647 - 1, 1000000000, 5000};
    stmgrclient_format_notice(notice, line, sizeof line);
    EXPECT_STREQ(line, "2001-09-09 04:46:40.005 event e_signal0 -2147483648\n");
    if (saved != nullptr)
        setenv("TZ", kept.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
