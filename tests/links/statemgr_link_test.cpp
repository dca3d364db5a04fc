#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "links/statemgr_link.h"
#include "support/gv.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/syslog_capture.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

using lines_t = std::vector<std::string>;

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
    }

    void set(const char* state, int value) {
        ASSERT_EQ(stmcc_set_state(observer_, state, value), STMCC_OK);
    }

    // Polls once; how many requests of the service's client reached the daemon.
    uint32_t calls_of_poll(int* request) {
        uint32_t before = 0, after = 0;
        EXPECT_TRUE(client_known(observer_, "dravel.state_mgr_2", &before));
        EXPECT_EQ(process_states(request), 0);
        EXPECT_TRUE(client_known(observer_, "dravel.state_mgr_2", &after));
        return after - before;
    }

    StateManagerDaemon daemon_;
    stmcc_t* observer_ = nullptr;
};

} // namespace

// The name field holds 255 characters: a long program path cuts the suffix
// short. Shutdown removes the client.
TEST_F(StateManagerLink, ConnectNamesTheClientAndDisconnectRemovesIt) {
    uint32_t requests = 0;
    int id = 0;
    ASSERT_EQ(statemgr_connect("/usr/bin/dravel"), 0);
    ASSERT_TRUE(client_known(observer_, "/usr/bin/dravel.state_mgr_2", &requests, &id));
    EXPECT_EQ(id, 80000);
    EXPECT_EQ(requests, 2u); // start and subscribe
    statemgr_disconnect();
    EXPECT_FALSE(client_known(observer_, "/usr/bin/dravel.state_mgr_2", &requests));

    const std::string path250(250, 'p');
    ASSERT_EQ(statemgr_connect(path250.c_str()), 0);
    EXPECT_TRUE(client_known(observer_, path250 + ".stat", &requests));
    EXPECT_EQ(syslog_capture::all(), lines_t{});
}

// One poll empties the queue; a request withdrawn before the poll still
// counts; other states (here one of the longest name) are taken and
// ignored; a stopping service asks nothing.
TEST_F(StateManagerLink, PollTakesEveryWaitingChange) {
    const std::string other = "s_" + std::string(29, 'o');
    ASSERT_EQ(statemgr_connect("dravel"), 0);
    ASSERT_EQ(stmcc_subscribe(gv.statemgr, other.c_str()), STMCC_OK);
    set("s_make_photo", 1);
    set(other.c_str(), 1);
    set("s_make_photo", 0);
    int request = 0;
    EXPECT_EQ(calls_of_poll(&request), 4u); // three changes, then "none waiting"
    EXPECT_EQ(request, 1);

    request = 0;
    EXPECT_EQ(calls_of_poll(&request), 1u);
    set("s_make_photo", 0); // a withdrawal alone is no request
    calls_of_poll(&request);
    EXPECT_EQ(request, 0);
    set(other.c_str(), 2);
    EXPECT_EQ(calls_of_poll(&request), 2u);
    EXPECT_EQ(request, 0);

    set("s_make_photo", 1);
    stop = 1;
    EXPECT_EQ(calls_of_poll(&request), 0u);
    EXPECT_EQ(request, 0);
    EXPECT_EQ(syslog_capture::all(), lines_t{});
}

// The signal report reaches the state manager. Once the connection is lost,
// polls fail with result 1 and one message between them, and a service that
// can no longer give the report stops.
TEST_F(StateManagerLink, LostConnectionFailsPollsAndStopsAtTheSignalReport) {
    ASSERT_EQ(statemgr_connect("dravel"), 0);
    ASSERT_EQ(stmcc_watch(observer_), STMCC_OK);
    EXPECT_EQ(say_signal(1), 0);
    stmcc_notice_t notice;
    ASSERT_EQ(stmcc_wait_for_notice(observer_, &notice, -1), STMCC_OK);
    EXPECT_TRUE(notice.kind == STMCC_NOTICE_EVENT && notice.value == 1) << notice.kind;
    EXPECT_STREQ(notice.name, "e_signal0");

    daemon_.stop();
    int request = 0;
    EXPECT_EQ(process_states(&request), 1);
    EXPECT_EQ(process_states(&request), 1);
    EXPECT_EQ(request, 0);
    EXPECT_EQ(stop, 0);
    EXPECT_EQ(say_signal(0), 1);
    EXPECT_EQ(stop, 1);
    EXPECT_TRUE(signal_report_failed());
    EXPECT_EQ(syslog_capture::all(),
              (lines_t{"process_states: wait for change state error: connection to the state "
                       "manager lost",
                       "say_signal: event 'e_signal0' notify error: connection to the state "
                       "manager lost\n"}));

    // Back: one report tries a new client, which takes the lost one's place.
    // The lost one is freed (the sanitizers' leak check holds it to that),
    // so a state manager restarted for years costs nothing.
    ASSERT_TRUE(daemon_.start());
    syslog_capture::clear();
    EXPECT_EQ(say_signal(1), 0);
    EXPECT_EQ(syslog_capture::all(), lines_t{"reconnect: connection to the state manager is back"});
}
