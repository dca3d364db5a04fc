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
    for (int c; (c = fgetc(file)) != EOF;)
        text += static_cast<char>(c);
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
        {"rise", "e_x", "1x"},
        {"set", "s_make_photo"},
        {"set", "s_make_photo", ""},
        {"set", "s_make_photo", "99999999999999999999"},
        {"get", "a", "b"},
        {"watch", "-n"},
        {"watch", "-n", "0"},
        {"watch", "-t", "1", "-t", "2"},
        {"clients", "more"},
    };
    for (const auto& args : bad) {
        Outcome result = run(args);
        EXPECT_EQ(result.status, 2) << args.size();
        EXPECT_EQ(result.err.find("Usage: stmgrclient"), 0u) << args.size();
    }
    stmcc_t* observer = started_client("observer");
    int value = 0;
    EXPECT_EQ(stmcc_get_state(observer, "s_make_photo", &value), STMCC_ERR_UNKNOWN);
    stmcc_delete(observer);
    EXPECT_EQ(run({"--help"}).status, 0);
}

// The commands as the service and an operator use them.
TEST(Stmgrclient, CommandsReachTheStateManager) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* watcher = started_client("watcher");
    ASSERT_EQ(stmcc_watch(watcher), STMCC_OK);

    Outcome rise = run({"rise", "e_access_grntd"});
    EXPECT_EQ(rise.status, 0) << rise.err;
    EXPECT_EQ(run({"rise", "e_signal0", "-1"}).status, 0);
    EXPECT_EQ(run({"set", "s_make_photo", "1"}).status, 0);
    const char* expected[][2] = {
        {"e_access_grntd", "0"}, {"e_signal0", "-1"}, {"s_make_photo", "1"}};
    for (const auto& line : expected) {
        stmcc_notice_t notice;
        ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
        EXPECT_STREQ(notice.name, line[0]);
        EXPECT_EQ(std::to_string(notice.value), line[1]);
    }

    Outcome get = run({"get", "s_make_photo"});
    EXPECT_EQ(get.status, 0);
    EXPECT_EQ(get.out, "1\n");
    Outcome unknown = run({"get", "s_nothing"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "stmgrclient: get: no such state or client\n");
    EXPECT_EQ(run({"set", std::string(40, 's'), "1"}).err, "stmgrclient: set: invalid name\n");
    Outcome clients = run({"clients"});
    EXPECT_EQ(clients.out.find("watcher 7 "), 0u) << clients.out;
    stmcc_delete(watcher);

    daemon.stop();
    Outcome absent = run({"rise", "e_access_grntd"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "stmgrclient: start: state manager not running\n");
}

// One whole line per change or event, in the documented form; a count bound
// leaves the rest for later, a time bound ends a quiet watch without error.
TEST(Stmgrclient, WatchPrintsOneLinePerNotice) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* watcher = started_client("watcher");
    stmcc_t* actor = started_client("actor");
    ASSERT_EQ(stmcc_watch(watcher), STMCC_OK);
    ASSERT_EQ(stmcc_set_state(actor, "s_make_photo", 1), STMCC_OK);
    ASSERT_EQ(stmcc_event_notify(actor, "e_signal0", 0), STMCC_OK);
    ASSERT_EQ(stmcc_event_notify(actor, "e_access_grntd", 0), STMCC_OK);

    FILE* out = tmpfile();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 2, 0, out), STMCC_OK);
    std::string text = read_all(out);
    const std::string stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ";
    EXPECT_TRUE(std::regex_match(
        text, std::regex(stamp + "state s_make_photo 1\n" + stamp + "event e_signal0 0\n")))
        << text;

    out = tmpfile();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 0, 1, out), STMCC_OK);
    text = read_all(out);
    EXPECT_TRUE(std::regex_match(text, std::regex(stamp + "event e_access_grntd 0\n"))) << text;

    daemon.kill_now();
    EXPECT_EQ(stmgrclient_print_notices(watcher, 0, 0, stdout), STMCC_ERR_CLOSED);
    stmcc_delete(watcher);
    stmcc_delete(actor);
}

TEST(Stmgrclient, NoticeTimeIsLocalWithMilliseconds) {
    const char* saved = getenv("TZ");
    const std::string kept = saved != nullptr ? saved : "";
    setenv("TZ", "UTC-3", 1);
    tzset();
    char line[128];
    stmgrclient_format_notice({STMCC_NOTICE_STATE, "s_make_photo", 1, 0, 999999}, line,
                              sizeof line);
    EXPECT_STREQ(line, "1970-01-01 03:00:00.999 state s_make_photo 1\n");
    stmgrclient_format_notice({STMCC_NOTICE_EVENT, "e_signal0", -2147483647 - 1, 1000000000, 5000},
                              line, sizeof line);
    EXPECT_STREQ(line, "2001-09-09 04:46:40.005 event e_signal0 -2147483648\n");
    if (saved != nullptr)
        setenv("TZ", kept.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
