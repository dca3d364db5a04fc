#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stm_protocol.h"
#include "platform/statemgr/stmcc.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

// A connection that speaks raw packets, as a broken or hostile client would.
int raw_connection(const std::string& address) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un sa;
    memset(&sa, 0, sizeof sa);
    sa.sun_family = AF_UNIX;
    snprintf(sa.sun_path, sizeof sa.sun_path, "%s", address.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    timeval limit = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

// Sends a request and returns the reply's code, or -1 when none came.
int ask(int fd, stm_msg_t request) {
    if (send(fd, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request))
        return -1;
    stm_msg_t reply;
    if (recv(fd, &reply, sizeof reply, 0) != static_cast<ssize_t>(sizeof reply))
        return -1;
    return reply.type == STM_REPLY && reply.seq == request.seq ? reply.code : -1;
}

int count_of(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        count++;
    return count;
}

} // namespace

// Garbage on a connection is dropped and logged; the daemon neither crashes
// nor answers it, and goes on serving that connection and the others.
TEST(StateManagerDaemon, MalformedMessagesAreDroppedAndLogged) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    int fd = raw_connection(daemon.address());
    ASSERT_GE(fd, 0);

    stm_msg_t hello = stm_message(STM_HELLO);
    snprintf(hello.name, sizeof hello.name, "raw");
    hello.seq = 1;
    const char junk[] = "hello?";
    ASSERT_EQ(send(fd, junk, sizeof junk, 0), static_cast<ssize_t>(sizeof junk));
    ASSERT_EQ(send(fd, junk, 0, 0), 0);
    std::string oversized(sizeof hello + 40, 'o');
    ASSERT_EQ(send(fd, oversized.data(), oversized.size(), 0),
              static_cast<ssize_t>(oversized.size()));
    stm_msg_t bad = hello;
    bad.magic = 0x12345678;
    ASSERT_EQ(send(fd, &bad, sizeof bad, 0), static_cast<ssize_t>(sizeof bad));
    bad = hello;
    bad.type = STM_REPLY; // only the daemon sends replies
    ASSERT_EQ(send(fd, &bad, sizeof bad, 0), static_cast<ssize_t>(sizeof bad));
    bad = hello;
    memset(bad.name, 'n', sizeof bad.name);
    ASSERT_EQ(send(fd, &bad, sizeof bad, 0), static_cast<ssize_t>(sizeof bad));

    // Only the well-formed hello is answered, so its reply is the next one.
    EXPECT_EQ(ask(fd, hello), STMCC_OK);
    stm_msg_t set = stm_message(STM_SET);
    set.seq = 2;
    snprintf(set.name, sizeof set.name, "s_after_junk");
    set.value = 9;
    EXPECT_EQ(ask(fd, set), STMCC_OK);
    close(fd);

    stmcc_t* other = started_client("other");
    ASSERT_NE(other, nullptr);
    int value = 0;
    EXPECT_EQ(stmcc_get_state(other, "s_after_junk", &value), STMCC_OK);
    EXPECT_EQ(value, 9);
    stmcc_delete(other);

    std::string log = daemon.stop();
    EXPECT_EQ(count_of(log, "malformed message"), 6) << log;
    EXPECT_EQ(count_of(log, "wrong size"), 3) << log;
    EXPECT_EQ(count_of(log, "not a state manager message"), 1) << log;
    EXPECT_EQ(count_of(log, "unknown message type"), 1) << log;
    EXPECT_EQ(count_of(log, "name not terminated"), 1) << log;
}

// Well-formed requests that make no sense get an error code, not silence,
// and the state manager's names stay within what its clients can hold.
TEST(StateManagerDaemon, NonsenseRequestsAreAnsweredWithErrors) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    int fd = raw_connection(daemon.address());
    ASSERT_GE(fd, 0);
    stm_msg_t set = stm_message(STM_SET);
    set.seq = 1;
    snprintf(set.name, sizeof set.name, "s_early");
    EXPECT_EQ(ask(fd, set), STMCC_ERR_NOT_STARTED);

    stm_msg_t hello = stm_message(STM_HELLO);
    hello.seq = 2;
    snprintf(hello.name, sizeof hello.name, "bad\x01name");
    EXPECT_EQ(ask(fd, hello), STMCC_ERR_NAME);
    snprintf(hello.name, sizeof hello.name, "raw");
    hello.seq = 3;
    EXPECT_EQ(ask(fd, hello), STMCC_OK);
    hello.seq = 4;
    EXPECT_EQ(ask(fd, hello), STMCC_ERR_STARTED);

    set.seq = 5;
    snprintf(set.name, sizeof set.name, "%s", std::string(STMCC_NAME_MAX + 1, 's').c_str());
    EXPECT_EQ(ask(fd, set), STMCC_ERR_NAME);
    stm_msg_t subscribe = stm_message(STM_SUBSCRIBE);
    subscribe.seq = 6;
    EXPECT_EQ(ask(fd, subscribe), STMCC_ERR_NAME); // empty name
    for (int i = 0; i < STMD_MAX_SUBSCRIPTIONS; i++) {
        subscribe.seq = 7 + i;
        snprintf(subscribe.name, sizeof subscribe.name, "s_%d", i);
        ASSERT_EQ(ask(fd, subscribe), STMCC_OK);
    }
    subscribe.seq = 100;
    snprintf(subscribe.name, sizeof subscribe.name, "s_one_more");
    EXPECT_EQ(ask(fd, subscribe), STMCC_ERR_FULL);
    close(fd);
}

// A daemon killed without clean-up leaves its socket file behind; its
// successor must start. A live daemon or a file of another kind must not be
// replaced.
TEST(StateManagerDaemon, ListenReplacesOnlyStaleSockets) {
    StateManagerDaemon daemon;
    const std::string path = daemon.dir() + "/other";

    int stale = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un sa;
    memset(&sa, 0, sizeof sa);
    sa.sun_family = AF_UNIX;
    snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    close(stale);
    int fd = statemgrd_listen(path.c_str());
    EXPECT_GE(fd, 0);
    // Now a listener lives there.
    EXPECT_EQ(statemgrd_listen(path.c_str()), -1);
    close(fd);
    unlink(path.c_str());

    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fputs("keep me", file);
    fclose(file);
    EXPECT_EQ(statemgrd_listen(path.c_str()), -1);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(path.c_str());

    EXPECT_EQ(statemgrd_listen(""), -1);
    EXPECT_EQ(statemgrd_listen(("/tmp/" + std::string(110, 'l')).c_str()), -1);
}
