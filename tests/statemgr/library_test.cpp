#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stmcc.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

// Takes every waiting change as "name=value;".
std::string drain(stmcc_t* handle) {
    std::string taken;
    char name[32];
    int value = 0;
    int code;
    while ((code = stmcc_wait_for_change_state(handle, name, &value, 0)) == STMCC_OK)
        taken += std::string(name) + "=" + std::to_string(value) + ";";
    return code == STMCC_NO_CHANGE ? taken : taken + "error " + std::to_string(code);
}

} // namespace

// The service must learn at once that there is no state manager, must not
// be able to use a client that never started, and must see a daemon that
// died as an error code: not as SIGPIPE (which would end it) nor as a call
// that waits forever.
TEST(StateManagerClient, MissingOrDeadDaemonGivesErrorsAtOnce) {
    StateManagerDaemon daemon; // its address, but nothing listens there yet
    stmcc_t* handle = stmcc_new();
    ASSERT_NE(handle, nullptr);
    stmcc_client_rec_t record = {80000, "lonely"};
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record), STMCC_ERR_CONNECT);
    EXPECT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_ERR_NOT_STARTED);
    char name[32];
    int value = 0;
    EXPECT_EQ(stmcc_wait_for_change_state(handle, name, &value, 0), STMCC_ERR_NOT_STARTED);
    EXPECT_EQ(stmcc_event_notify(handle, "e_signal0", 1), STMCC_ERR_NOT_STARTED);

    ASSERT_TRUE(daemon.start());
    ASSERT_EQ(stmcc_start_as_msg_queue_client(handle, record), STMCC_OK);
    ASSERT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_OK);
    daemon.kill_now();
    EXPECT_EQ(stmcc_event_notify(handle, "e_signal0", 0), STMCC_ERR_CLOSED);
    EXPECT_EQ(stmcc_wait_for_change_state(handle, name, &value, 0), STMCC_ERR_CLOSED);
    stmcc_delete(handle);

    setenv("STATEMGR_SOCKET", ("/tmp/" + std::string(120, 'x')).c_str(), 1);
    handle = stmcc_new();
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record), STMCC_ERR_ADDRESS);
    stmcc_delete(handle);
}

// Subscribers get every set and event of their names, in order, also a set
// that keeps the value; other names never reach them. Names that the
// service's 32-byte buffer could not hold are refused.
TEST(StateManagerClient, SubscribersReceiveTheirChangesInOrder) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* service = started_client("service");
    stmcc_t* operator_ = started_client("operator");
    ASSERT_NE(service, nullptr);
    ASSERT_NE(operator_, nullptr);
    ASSERT_EQ(stmcc_subscribe(service, "s_make_photo"), STMCC_OK);
    ASSERT_EQ(stmcc_subscribe(service, "e_door"), STMCC_OK);
    EXPECT_EQ(stmcc_subscribe(service, std::string(32, 's').c_str()), STMCC_ERR_NAME);

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
    ASSERT_EQ(stmcc_subscribe(idle, "s_count"), STMCC_OK);
    const int sets = STMD_MAX_QUEUED + 20;
    for (int i = 0; i < sets; i++)
        ASSERT_EQ(stmcc_set_state(busy, "s_count", i), STMCC_OK);
    char name[32];
    int value = -1, taken = 0, first = -1;
    while (stmcc_wait_for_change_state(idle, name, &value, 0) == STMCC_OK)
        if (taken++ == 0)
            first = value;
    EXPECT_EQ(taken, STMD_MAX_QUEUED);
    EXPECT_EQ(first, 20);
    EXPECT_EQ(value, sets - 1);
    stmcc_delete(idle);
    stmcc_delete(busy);
    EXPECT_NE(daemon.stop().find("oldest one dropped"), std::string::npos);
}

// The service connects, forks, and its parent exits: the child must go on
// with the connection the parent made.
TEST(StateManagerClient, ConnectionSurvivesFork) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* handle = started_client("forked");
    stmcc_t* operator_ = started_client("operator");
    ASSERT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_OK);
    ASSERT_EQ(stmcc_set_state(operator_, "s_make_photo", 1), STMCC_OK);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char name[32];
        int value = 0;
        int status = stmcc_event_notify(handle, "e_signal0", 1) == STMCC_OK ? 0 : 1;
        if (stmcc_wait_for_change_state(handle, name, &value, 0) != STMCC_OK ||
            strcmp(name, "s_make_photo") != 0 || value != 1)
            status |= 2;
        if (stmcc_set_state(handle, "s_child", 42) != STMCC_OK)
            status |= 4;
        _exit(status);
    }
    stmcc_delete(handle); // the parent's exit closes its copy
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
// calls reached it; a name filling the record without a terminator is cut,
// not read past; a client that hung up is no longer reported.
TEST(StateManagerClient, DaemonReportsClientsAndTheirRequests) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* first = stmcc_new();
    stmcc_client_rec_t record = {80000, {}};
    memset(record.name, 'f', sizeof record.name);
    ASSERT_EQ(stmcc_start_as_msg_queue_client(first, record), STMCC_OK);
    EXPECT_EQ(stmcc_start_as_msg_queue_client(first, record), STMCC_ERR_STARTED);
    stmcc_t* second = started_client("second");
    const std::string first_name(255, 'f');
    uint32_t requests = 0;
    int id = 0;
    ASSERT_TRUE(client_known(second, first_name, &requests, &id));
    EXPECT_EQ(id, 80000);
    EXPECT_EQ(requests, 1u);

    char state[32];
    int value = 0;
    stmcc_wait_for_change_state(first, state, &value, 0);
    stmcc_wait_for_change_state(first, state, &value, 0);
    stmcc_event_notify(first, "e_signal0", 1);
    stmcc_subscribe(first, "not a name"); // refused before it is sent
    ASSERT_TRUE(client_known(second, first_name, &requests));
    EXPECT_EQ(requests, 4u);

    stmcc_delete(first);
    EXPECT_FALSE(client_known(second, first_name, &requests));
    stmcc_delete(second);
}

// Watchers see every set and every event of every client, stamped, also
// those that came while the watcher waited for a reply of its own.
TEST(StateManagerClient, WatchersSeeEverything) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* watcher = started_client("watcher");
    stmcc_t* actor = started_client("actor");
    ASSERT_EQ(stmcc_set_state(actor, "s_before", 1), STMCC_OK); // not watched yet
    ASSERT_EQ(stmcc_watch(watcher), STMCC_OK);
    ASSERT_EQ(stmcc_set_state(actor, "s_make_photo", 1), STMCC_OK);
    ASSERT_EQ(stmcc_event_notify(actor, "e_access_grntd", 0), STMCC_OK);
    ASSERT_EQ(stmcc_set_state(watcher, "s_mine", -3), STMCC_OK);

    stmcc_notice_t notice;
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_STATE);
    EXPECT_STREQ(notice.name, "s_make_photo");
    EXPECT_EQ(notice.value, 1);
    EXPECT_GT(notice.seconds, 0);
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_EQ(notice.kind, STMCC_NOTICE_EVENT);
    EXPECT_STREQ(notice.name, "e_access_grntd");
    ASSERT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_OK);
    EXPECT_STREQ(notice.name, "s_mine");
    EXPECT_EQ(notice.value, -3);
    EXPECT_EQ(stmcc_wait_for_notice(watcher, &notice, 0), STMCC_ERR_TIMEOUT);

    daemon.kill_now();
    EXPECT_EQ(stmcc_wait_for_notice(watcher, &notice, -1), STMCC_ERR_CLOSED);
    stmcc_delete(watcher);
    stmcc_delete(actor);
}
