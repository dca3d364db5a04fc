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
        EXPECT_TRUE(client_known(observer_, service_name_, &requests));
        return requests;
    }

    void set(const char* state, int value) {
        ASSERT_EQ(stmcc_set_state(observer_, state, value), STMCC_OK);
    }

    StateManagerDaemon daemon_;
    stmcc_t* observer_ = nullptr;
    const std::string service_name_ = "/usr/bin/dravel.state_mgr_2";
};

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST_F(StateManagerLink, ConnectStartsNamedClientAndSubscribesToThePhotoRequest) {
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    EXPECT_NE(gv.statemgr, nullptr);
    uint32_t requests = 0;
    int id = 0;
    ASSERT_TRUE(client_known(observer_, service_name_, &requests, &id));
    EXPECT_EQ(id, 80000);
    EXPECT_EQ(requests, 2u); // start and subscribe
    EXPECT_TRUE(syslog_capture::lines().empty());

    set("s_make_photo", 1);
    int request = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 1);
}

// The name field holds 255 characters: a long program path cuts the suffix
// short, a longer one loses it.
TEST_F(StateManagerLink, ClientNameIsCutAt255Characters) {
    const std::string path250(250, 'p');
    ASSERT_EQ(statemgr_connect(path250.c_str()), 0);
    uint32_t requests = 0;
    EXPECT_TRUE(client_known(observer_, path250 + ".stat", &requests));
    statemgr_disconnect();

    const std::string path300 = "/" + std::string(299, 'q');
    ASSERT_EQ(statemgr_connect(path300.c_str()), 0);
    EXPECT_TRUE(client_known(observer_, path300.substr(0, 255), &requests));
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
// counts; other states are taken and ignored.
TEST_F(StateManagerLink, PollTakesEveryWaitingChange) {
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
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

    // A withdrawal alone is no request, and the poll never clears one.
    set("s_other", 7);
    set("s_make_photo", 0);
    request = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 0);
    request = 1;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 1);
    EXPECT_TRUE(syslog_capture::lines().empty());
}

// A stopping service asks nothing; the change waits for a later poll.
TEST_F(StateManagerLink, PollAsksNothingWhileStopping) {
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    set("s_make_photo", 1);
    stop = 1;
    uint32_t before = service_requests();
    int request = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 0);
    EXPECT_EQ(service_requests(), before);

    stop = 0;
    EXPECT_EQ(process_states(&request), 0);
    EXPECT_EQ(request, 1);
}

TEST_F(StateManagerLink, PollErrorIsOneMessageAndResultOne) {
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    daemon_.kill_now();
    syslog_capture::clear();
    int request = 0;
    EXPECT_EQ(process_states(&request), 1);
    EXPECT_EQ(request, 0);
    auto lines = syslog_capture::lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].priority, 0);
    EXPECT_EQ(lines[0].text,
              "process_states: wait for change state error: connection to the state manager lost");
    EXPECT_EQ(stop, 0);
}

TEST_F(StateManagerLink, SignalReportReachesTheStateManager) {
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    ASSERT_EQ(stmcc_watch(observer_), STMCC_OK);
    EXPECT_EQ(say_signal(1), 0);
    EXPECT_EQ(say_signal(0), 0);
    stmcc_notice_t notice;
    ASSERT_EQ(stmcc_wait_for_notice(observer_, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_EVENT);
    EXPECT_STREQ(notice.name, "e_signal0");
    EXPECT_EQ(notice.value, 1);
    ASSERT_EQ(stmcc_wait_for_notice(observer_, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.value, 0);
    EXPECT_EQ(stop, 0);
}

// The service cannot run on without reporting its signal: it stops.
TEST_F(StateManagerLink, FailedSignalReportStopsTheService) {
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    daemon_.kill_now();
    syslog_capture::clear();
    EXPECT_EQ(say_signal(1), 1);
    EXPECT_EQ(stop, 1);
    auto lines = syslog_capture::lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].priority, 0);
    EXPECT_EQ(lines[0].text,
              "say_signal: event 'e_signal0' notify error: connection to the state manager lost\n");
}

TEST_F(StateManagerLink, DisconnectDeletesTheClient) {
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    statemgr_disconnect();
    EXPECT_EQ(gv.statemgr, nullptr);
    uint32_t requests = 0;
    EXPECT_FALSE(client_known(observer_, service_name_, &requests));
    statemgr_disconnect();
    EXPECT_EQ(gv.statemgr, nullptr);
}

// The barrier opens through the command-line client found on PATH, run with
// exactly these words; whatever becomes of it, the decision goes on quietly.
TEST_F(StateManagerLink, AccessRunsTheCommandLineClient) {
    const std::string bin = daemon_.dir() + "/bin";
    const std::string script = bin + "/stmgrclient";
    const std::string args = daemon_.dir() + "/args";
    ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << args << "'\nexit 3\n";
    }
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    const char* saved = getenv("PATH");
    const std::string kept = saved != nullptr ? saved : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + kept).c_str(), 1);

    EXPECT_EQ(access_enabled(), 0);
    EXPECT_EQ(read_file(args), "rise|e_access_grntd|");

    unlink(script.c_str());
    setenv("PATH", bin.c_str(), 1);
    EXPECT_EQ(access_enabled(), 0); // no such command
    setenv("PATH", kept.c_str(), 1);
    EXPECT_TRUE(syslog_capture::lines().empty());
    unlink(args.c_str());
    rmdir(bin.c_str());
}
