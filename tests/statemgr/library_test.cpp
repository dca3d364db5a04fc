#include <algorithm>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

// The service must learn at once that there is no state manager, and must
// not be able to use a client that never started. A record name that fills
// its field without a terminator is cut, not read past.
TEST(StateManagerClient, StartsOnlyWhereADaemonListens) {
    StateManagerDaemon daemon; // its address, but nothing listens there yet
    stmcc_t* handle = stmcc_new();
    stmcc_client_rec_t record = {80000, {}};
    memset(record.name, 'f', sizeof record.name);
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record), STMCC_ERR_CONNECT);
    EXPECT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_ERR_NOT_STARTED);

    ASSERT_TRUE(daemon.start());
    ASSERT_EQ(stmcc_start_as_msg_queue_client(handle, record), STMCC_OK);
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record), STMCC_ERR_STARTED);
    stmcc_t* observer = started_client("observer");
    uint32_t requests = 0;
    EXPECT_TRUE(client_known(observer, std::string(255, 'f'), &requests));
    stmcc_delete(observer);
    stmcc_delete(handle);

    setenv("STATEMGR_SOCKET", ("/tmp/" + std::string(120, 'x')).c_str(), 1);
    handle = stmcc_new();
    EXPECT_EQ(stmcc_start_as_msg_queue_client(handle, record), STMCC_ERR_ADDRESS);
    stmcc_delete(handle);
}

// Subscribers get every set and event of their names, in order, also a set
// that keeps the value; other names never reach them. A client that never
// takes its changes must not make the daemon grow without bound: the oldest
// changes go first.
TEST(StateManagerClient, SubscribersReceiveTheirNewestChangesInOrder) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* service = started_client("service");
    stmcc_t* operator_ = started_client("operator");
    ASSERT_EQ(stmcc_subscribe(service, "s_make_photo"), STMCC_OK);
    ASSERT_EQ(stmcc_subscribe(service, "e_door"), STMCC_OK);
    stmcc_set_state(operator_, "s_make_photo", 1);
    stmcc_set_state(operator_, "s_other", 5);
    stmcc_set_state(operator_, "s_make_photo", 1);
    stmcc_event_notify(operator_, "e_door", 3);
    stmcc_set_state(operator_, "s_make_photo", -7);
    EXPECT_EQ(drain(service), "s_make_photo=1;s_make_photo=1;e_door=3;s_make_photo=-7;");

    for (int i = 0; i < STMD_MAX_QUEUED + 20; i++)
        ASSERT_EQ(stmcc_set_state(operator_, "s_make_photo", i), STMCC_OK);
    const std::string kept = drain(service);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), ';'), STMD_MAX_QUEUED);
    EXPECT_EQ(kept.find("s_make_photo=20;"), 0u);
    stmcc_delete(service);
    stmcc_delete(operator_);
}

// The service connects, forks, and its parent exits: the child must go on
// with the connection the parent made.
TEST(StateManagerClient, ConnectionSurvivesFork) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* handle = started_client("forked");
    ASSERT_EQ(stmcc_subscribe(handle, "s_make_photo"), STMCC_OK);
    ASSERT_EQ(stmcc_set_state(handle, "s_make_photo", 1), STMCC_OK);
    int parent_gone[2];
    ASSERT_EQ(pipe(parent_gone), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char byte;
        bool ok = read(parent_gone[0], &byte, 1) == 1 && drain(handle) == "s_make_photo=1;" &&
                  stmcc_event_notify(handle, "e_signal0", 1) == STMCC_OK;
        _exit(ok ? 0 : 1);
    }
    stmcc_delete(handle);
    EXPECT_EQ(write(parent_gone[1], "x", 1), 1);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(parent_gone[0]);
    close(parent_gone[1]);
}
