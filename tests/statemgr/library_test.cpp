#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stmcc.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

stmcc_client_rec_t record_named(const char* name) {
    stmcc_client_rec_t record;
    memset(&record, 0, sizeof record);
    record.id = 80000;
    snprintf(record.name, sizeof record.name, "%s", name);
    return record;
}

// Takes every waiting change as "name=value;".
std::string drain(stmcc_t* handle) {
    std::string taken;
    char name[32];
    int value = 0;
    int code;
    while ((code = stmcc_wait_for_change_state(handle, name, &value, 0)) == STMCC_OK)
        taken += std::string(name) + "=" + std::to_string(value) + ";";
    if (code != STMCC_NO_CHANGE)
        taken += "error " + std::to_string(code);
    return taken;
}

} // namespace

// The service must learn at once that there is no state manager, and must
// not be able to use a client that never started.
TEST(StateManagerClient, WithoutDaemonEveryCallFailsAtOnce) {
    StateManagerDaemon daemon; // its address, but nothing listens there
    stmcc_t* handle = stmcc_new();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record_named("lonely")), STMCC_ERR_CONNECT);
    EXPECT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_ERR_NOT_STARTED);
    char name[32];
    int value = 0;
    EXPECT_EQ(stmcc_wait_for_change_state(handle, name, &value, 0), STMCC_ERR_NOT_STARTED);
    EXPECT_EQ(stmcc_event_notify(handle, "e_signal0", 1), STMCC_ERR_NOT_STARTED);
    EXPECT_EQ(stmcc_set_state(handle, "s_make_photo", 1), STMCC_ERR_NOT_STARTED);
    stmcc_delete(handle);

    setenv("STATEMGR_SOCKET", ("/tmp/" + std::string(120, 'x')).c_str(), 1);
    handle = stmcc_new();
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record_named("far")), STMCC_ERR_ADDRESS);
    stmcc_delete(handle);
}

// A dead daemon must show as an error code, not as SIGPIPE (which would end
// the service) nor as a call that waits forever.
TEST(StateManagerClient, DaemonGoneIsAnErrorNotASignal) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* handle = started_client("survivor");
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_OK);
    daemon.kill_now();

    EXPECT_EQ(stmcc_event_notify(handle, "e_signal0", 0), STMCC_ERR_CLOSED);
    char name[32];
    int value = 0;
    EXPECT_EQ(stmcc_wait_for_change_state(handle, name, &value, 0), STMCC_ERR_CLOSED);
    EXPECT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_ERR_CLOSED);
    stmcc_delete(handle);
}

// Bad arguments are refused before anything is sent.
TEST(StateManagerClient, BadArgumentsAreRefused) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* handle = started_client("careful");
    ASSERT_NE(handle, nullptr);
    char name[32];
    int value = 0;
    EXPECT_EQ(stmcc_wait_for_change_state(nullptr, name, &value, 0), STMCC_ERR_ARGUMENT);
    EXPECT_EQ(stmcc_wait_for_change_state(handle, name, &value, 1), STMCC_ERR_ARGUMENT);
    EXPECT_EQ(stmcc_subscribe(handle, nullptr), STMCC_ERR_ARGUMENT);
    EXPECT_EQ(stmcc_subscribe(handle, std::string(32, 's').c_str()), STMCC_ERR_NAME);
    EXPECT_EQ(stmcc_event_notify(handle, "", 1), STMCC_ERR_NAME);
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record_named("again")), STMCC_ERR_STARTED);
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record_named("")), STMCC_ERR_STARTED);

    stmcc_t* nameless = stmcc_new();
    EXPECT_EQ(stmcc_start_as_msg_queue_client(nameless, record_named("")), STMCC_ERR_NAME);
    // A record whose name fills the field without a terminator is cut, not
    // read past.
    stmcc_client_rec_t full = record_named("");
    memset(full.name, 'f', sizeof full.name);
    EXPECT_EQ(stmcc_start_as_msg_queue_client(nameless, full), STMCC_OK);
    uint32_t requests = 0;
    EXPECT_TRUE(client_known(handle, std::string(255, 'f'), &requests));
    stmcc_delete(nameless);
    stmcc_delete(handle);
    stmcc_delete(nullptr);
}

// Subscribers get every set and event of their names, in order, also a set
// that keeps the value; others' names never reach them.
TEST(StateManagerClient, SubscribersReceiveTheirChangesInOrder) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* service = started_client("service");
    stmcc_t* operator_ = started_client("operator");
    ASSERT_NE(service, nullptr);
    ASSERT_NE(operator_, nullptr);
    ASSERT_EQ(stmcc_subscribe(service, "s_make_photo"), STMCC_OK);
    ASSERT_EQ(stmcc_subscribe(service, "s_make_photo"), STMCC_OK);
    ASSERT_EQ(stmcc_subscribe(service, "e_door"), STMCC_OK);

    EXPECT_EQ(drain(service), "");
    EXPECT_EQ(stmcc_set_state(operator_, "s_make_photo", 1), STMCC_OK);
    EXPECT_EQ(stmcc_set_state(operator_, "s_other", 5), STMCC_OK);
    EXPECT_EQ(stmcc_set_state(operator_, "s_make_photo", 1), STMCC_OK);
    EXPECT_EQ(stmcc_event_notify(operator_, "e_door", 3), STMCC_OK);
    EXPECT_EQ(stmcc_set_state(operator_, "s_make_photo", -7), STMCC_OK);
    EXPECT_EQ(drain(service), "s_make_photo=1;s_make_photo=1;e_door=3;s_make_photo=-7;");
    EXPECT_EQ(drain(operator_), "");

    int value = 0;
    EXPECT_EQ(stmcc_get_state(operator_, "s_make_photo", &value), STMCC_OK);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(stmcc_get_state(operator_, "s_never_set", &value), STMCC_ERR_UNKNOWN);
    EXPECT_EQ(stmcc_get_state(operator_, "e_door", &value), STMCC_ERR_UNKNOWN);
    stmcc_delete(service);
    stmcc_delete(operator_);
}

// A client that never takes its changes must not make the daemon grow
// without bound: the oldest changes go first.
TEST(StateManagerClient, QueueKeepsTheNewestChanges) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* idle = started_client("idle");
    stmcc_t* busy = started_client("busy");
    ASSERT_NE(idle, nullptr);
    ASSERT_NE(busy, nullptr);
    ASSERT_EQ(stmcc_subscribe(idle, "s_count"), STMCC_OK);
    const int sets = STMD_MAX_QUEUED + 20;
    for (int i = 0; i < sets; i++)
        ASSERT_EQ(stmcc_set_state(busy, "s_count", i), STMCC_OK);
    char name[32];
    int value = -1, taken = 0, first = -1, last = -1;
    while (stmcc_wait_for_change_state(idle, name, &value, 0) == STMCC_OK) {
        if (taken++ == 0)
            first = value;
        last = value;
    }
    EXPECT_EQ(taken, STMD_MAX_QUEUED);
    EXPECT_EQ(first, 20);
    EXPECT_EQ(last, sets - 1);
    stmcc_delete(idle);
    stmcc_delete(busy);
    EXPECT_NE(daemon.stop().find("oldest one dropped"), std::string::npos);
}

// The service connects, forks, and its parent exits: the child must go on
// with the connection the parent made.
TEST(StateManagerClient, ConnectionSurvivesFork) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* handle = started_client("forked.state_mgr_2");
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_OK);
    stmcc_t* operator_ = started_client("operator");
    ASSERT_NE(operator_, nullptr);
    ASSERT_EQ(stmcc_set_state(operator_, "s_make_photo", 1), STMCC_OK);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char name[32];
        int value = 0;
        int status = 0;
        if (stmcc_event_notify(handle, "e_signal0", 1) != STMCC_OK)
            status |= 1;
        if (stmcc_wait_for_change_state(handle, name, &value, 0) != STMCC_OK ||
            strcmp(name, "s_make_photo") != 0 || value != 1)
            status |= 2;
        if (stmcc_set_state(handle, "s_child", 42) != STMCC_OK)
            status |= 4;
        _exit(status);
    }
    // The parent's exit: its copy of the connection closes.
    stmcc_delete(handle);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    int value = 0;
    EXPECT_EQ(stmcc_get_state(operator_, "s_child", &value), STMCC_OK);
    EXPECT_EQ(value, 42);
    stmcc_delete(operator_);
}

// The daemon counts each client's requests, which tells exactly how many
// calls went to it.
TEST(StateManagerClient, DaemonReportsClientsAndTheirRequests) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* first = stmcc_new();
    ASSERT_EQ(stmcc_start_as_msg_queue_client(first, record_named("first")), STMCC_OK);
    stmcc_t* second = started_client("second");
    ASSERT_NE(second, nullptr);
    char name[256];
    int id = 0;
    uint32_t requests = 0;
    ASSERT_EQ(stmcc_client_info(second, 0, name, &id, &requests), STMCC_OK);
    EXPECT_STREQ(name, "first");
    EXPECT_EQ(id, 80000);
    EXPECT_EQ(requests, 1u); // its start
    ASSERT_EQ(stmcc_client_info(second, 1, name, &id, &requests), STMCC_OK);
    EXPECT_STREQ(name, "second");
    EXPECT_EQ(stmcc_client_info(second, 2, name, &id, &requests), STMCC_ERR_UNKNOWN);
    EXPECT_EQ(stmcc_client_info(second, -1, name, &id, &requests), STMCC_ERR_UNKNOWN);

    char state[32];
    int value = 0;
    stmcc_wait_for_change_state(first, state, &value, 0);
    stmcc_wait_for_change_state(first, state, &value, 0);
    stmcc_event_notify(first, "e_signal0", 1);
    stmcc_subscribe(first, "not a name"); // refused before it is sent
    ASSERT_TRUE(client_known(second, "first", &requests));
    EXPECT_EQ(requests, 4u);

    stmcc_delete(first);
    EXPECT_FALSE(client_known(second, "first", &requests));
    stmcc_delete(second);
}

// Watchers see every set and every event of every client, stamped.
TEST(StateManagerClient, WatchersSeeEverything) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* watcher = started_client("watcher");
    stmcc_t* actor = started_client("actor");
    ASSERT_NE(watcher, nullptr);
    ASSERT_NE(actor, nullptr);
    stmcc_notice_t notice;
    EXPECT_EQ(stmcc_wait_for_notice(watcher, &notice, 0), STMCC_ERR_TIMEOUT);
    ASSERT_EQ(stmcc_set_state(actor, "s_before", 1), STMCC_OK); // not watched yet
    ASSERT_EQ(stmcc_watch(watcher), STMCC_OK);
    ASSERT_EQ(stmcc_set_state(actor, "s_make_photo", 1), STMCC_OK);
    ASSERT_EQ(stmcc_event_notify(actor, "e_access_grntd", 0), STMCC_OK);
    // A watcher's own requests still get their replies among the notices.
    ASSERT_EQ(stmcc_set_state(watcher, "s_mine", -3), STMCC_OK);

    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_STATE);
    EXPECT_STREQ(notice.name, "s_make_photo");
    EXPECT_EQ(notice.value, 1);
    EXPECT_GT(notice.seconds, 0);
    EXPECT_LT(notice.microseconds, 1000000);
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_EVENT);
    EXPECT_STREQ(notice.name, "e_access_grntd");
    EXPECT_EQ(notice.value, 0);
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_STREQ(notice.name, "s_mine");
    EXPECT_EQ(notice.value, -3);
    EXPECT_EQ(stmcc_wait_for_notice(watcher, &notice, 0), STMCC_ERR_TIMEOUT);

    daemon.kill_now();
    EXPECT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_ERR_CLOSED);
    stmcc_delete(watcher);
    stmcc_delete(actor);
}
