#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/gv.h"
#include "links/statemgr_link.h"
#include "tests/common/syslog_capture.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

class StateManagerLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(daemon_.start());
        observer_ = started_client("observer");
        ASSERT_NE(observer_, nullptr);
        stop = 0;
        syslog_capture::clear();
    }

    void TearDown() override {
        statemgr_disconnect();
        stmcc_delete(observer_);
        stop = 0;
    }

    // How many requests the daemon has taken from the service's client.
    uint32_t service_requests() {
        uint32_t requests = 0;
        EXPECT_TRUE(client_known(observer_, "dravel.state_mgr_2", &requests));
        return requests;
    }

    void set(const char* state, int value) {
        ASSERT_EQ(stmcc_set_state(observer_, state, value), STMCC_OK);
    }

    // The one line logged since the last clear, which must be at priority 0.
    static std::string only_line() {
        auto lines = syslog_capture::lines();
        EXPECT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines.empty() ? -1 : lines[0].priority, 0);
        return lines.empty() ? "" : lines[0].text;
    }

    StateManagerDaemon daemon_;
    stmcc_t* observer_ = nullptr;
};

} // namespace

// The name field holds 255 characters: a long program path cuts the suffix
// short, a longer one loses it. Shutdown removes the client.
TEST_F(StateManagerLink, ConnectNamesTheClientAndDisconnectRemovesIt) {
    uint32_t requests = 0;
    int id = 0;
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    ASSERT_TRUE(client_known(observer_, "/usr/bin/dravel.state_mgr_2", &requests, &id));
    EXPECT_EQ(id, 80000);
    EXPECT_EQ(requests, 2u); // start and subscribe
    statemgr_disconnect();
    EXPECT_EQ(gv.statemgr, nullptr);
    EXPECT_FALSE(client_known(observer_, "/usr/bin/dravel.state_mgr_2", &requests));

    const std::string path250(250, 'p');
    ASSERT_EQ(statemgr_connect(path250.c_str()), 0);
    EXPECT_TRUE(client_known(observer_, path250 + ".stat", &requests));
    statemgr_disconnect();
    const std::string path300 = "/" + std::string(299, 'q');
    ASSERT_EQ(statemgr_connect(path300.c_str()), 0);
    EXPECT_TRUE(client_known(observer_, path300.substr(0, 255), &requests));
    EXPECT_TRUE(syslog_capture::lines().empty());
}

// Both failures are logged, the subscription is tried even though the start
// failed, and the service learns that it cannot run.
TEST_F(StateManagerLink, ConnectWithoutDaemonFailsWithBothMessages) {
    daemon_.stop();
    EXPECT_EQ(statemgr_connect("dravel"), 1);
    auto lines = syslog_capture::lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].priority, 0);
    EXPECT_EQ(lines[0].text,
              "statemgr_connect: open as msg queue client error: state manager not running\n");
    EXPECT_EQ(lines[1].priority, 0);
    EXPECT_EQ(lines[1].text,
              "statemgr_connect: subscribe to 's_make_photo' error: client not started\n");
}

// One poll empties the queue; a request withdrawn before the poll still
// counts; other states are taken and ignored; a stopping service asks
// nothing and the change waits for a later poll.
TEST_F(StateManagerLink, PollTakesEveryWaitingChange) {
    ASSERT_EQ(statemgr_connect("dravel"), 0);
    ASSERT_EQ(stmcc_subscribe(gv.statemgr, "s_other"), STMCC_OK);
    set("s_make_photo", 1);
    set("s_other", 1);
    set("s_make_photo", 0);
    uint32_t before = service_requests();
    int request = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 1);
    EXPECT_EQ(service_requests() - before, 4u); // three changes, then "none waiting"

    before = service_requests();
    request = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 0);
    EXPECT_EQ(service_requests() - before, 1u);

    set("s_make_photo", 0); // a withdrawal alone is no request ...
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 0);
    request = 1; // ... and the poll never clears one
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 1);

    set("s_make_photo", 1);
    stop = 1;
    before = service_requests();
    request = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 0);
    EXPECT_EQ(service_requests(), before);
    stop = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 1);
    EXPECT_TRUE(syslog_capture::lines().empty());
}

TEST_F(StateManagerLink, PollErrorIsOneMessageAndResultOne) {
    ASSERT_EQ(statemgr_connect("dravel"), 0);
    daemon_.kill_now();
    int request = 0;
    EXPECT_EQ(process_states(&request), 1);
    EXPECT_EQ(request, 0);
    EXPECT_EQ(only_line(),
              "process_states: wait for change state error: connection to the state manager lost");
    EXPECT_EQ(stop, 0);
}

// The signal report reaches the state manager; a service that can no longer
// give it stops.
TEST_F(StateManagerLink, FailedSignalReportStopsTheService) {
    ASSERT_EQ(statemgr_connect("dravel"), 0);
    ASSERT_EQ(stmcc_watch(observer_), STMCC_OK);
    EXPECT_EQ(say_signal(1), 0);
    stmcc_notice_t notice;
    ASSERT_EQ(stmcc_wait_for_notice(observer_, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_EVENT);
    EXPECT_STREQ(notice.name, "e_signal0");
    EXPECT_EQ(notice.value, 1);
    EXPECT_EQ(stop, 0);

    daemon_.kill_now();
    EXPECT_EQ(say_signal(0), 1);
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(only_line(),
              "say_signal: event 'e_signal0' notify error: connection to the state manager lost\n");
}

// The barrier opens through the command-line client found on PATH, run with
// exactly these words; whatever becomes of it, the decision goes on quietly.
TEST_F(StateManagerLink, AccessRunsTheCommandLineClient) {
    const std::string bin = daemon_.dir() + "/bin", args = daemon_.dir() + "/args";
    ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
    std::ofstream(bin + "/stmgrclient")
        << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << args << "'\nexit 3\n";
    ASSERT_EQ(chmod((bin + "/stmgrclient").c_str(), 0700), 0);
    const std::string kept = getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + kept).c_str(), 1);
    EXPECT_EQ(access_enabled(), 0);
    std::stringstream written;
    written << std::ifstream(args).rdbuf();
    EXPECT_EQ(written.str(), "rise|e_access_grntd|");

    unlink((bin + "/stmgrclient").c_str());
    setenv("PATH", bin.c_str(), 1);
    EXPECT_EQ(access_enabled(), 0); // no such command
    setenv("PATH", kept.c_str(), 1);
    EXPECT_TRUE(syslog_capture::lines().empty());
    unlink(args.c_str());
    rmdir(bin.c_str());
}
