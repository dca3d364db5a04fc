#include <algorithm>
#include <string>

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
