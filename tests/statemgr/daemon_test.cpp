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

// A socket at `path`, connected or bound, as a broken client or a dead
// daemon would leave it.
int raw_socket(const std::string& path, bool bind_it) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un sa = {};
    sa.sun_family = AF_UNIX;
    snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    auto* any = reinterpret_cast<sockaddr*>(&sa);
    if ((bind_it ? bind(fd, any, sizeof sa) : connect(fd, any, sizeof sa)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends a request with the next seq and returns the reply's code, or -1.
int ask(int fd, stm_type type, const char* name) {
    static uint32_t seq;
    stm_msg_t request = stm_message(type);
    request.seq = ++seq;
    snprintf(request.name, sizeof request.name, "%s", name);
    send(fd, &request, sizeof request, 0);
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

// Garbage on a connection is dropped and logged: no crash, no answer, and
// the daemon goes on serving that connection and the others. Well-formed
// nonsense is answered with an error code instead.
TEST(StateManagerDaemon, MalformedMessagesAreDroppedAndLogged) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    int fd = raw_socket(daemon.address(), false);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ask(fd, STM_SET, "s_early"), STMCC_ERR_NOT_STARTED);

    const std::string junk = "hello?", oversized(sizeof(stm_msg_t) + 40, 'o');
    for (const std::string& packet : {junk, std::string(), oversized})
        ASSERT_EQ(send(fd, packet.data(), packet.size(), 0), static_cast<ssize_t>(packet.size()));
    stm_msg_t bad = stm_message(STM_HELLO);
    bad.magic = 0x12345678;
    send(fd, &bad, sizeof bad, 0);
    bad = stm_message(STM_REPLY); // only the daemon sends replies
    send(fd, &bad, sizeof bad, 0);
    bad = stm_message(STM_HELLO);
    memset(bad.name, 'n', sizeof bad.name);
    send(fd, &bad, sizeof bad, 0);

    // Only well-formed requests are answered, so each reply is the next one.
    EXPECT_EQ(ask(fd, STM_HELLO, "bad\x01name"), STMCC_ERR_NAME);
    EXPECT_EQ(ask(fd, STM_HELLO, "raw"), STMCC_OK);
    EXPECT_EQ(ask(fd, STM_HELLO, "raw"), STMCC_ERR_STARTED);
    EXPECT_EQ(ask(fd, STM_SET, "s_after_junk"), STMCC_OK);
    EXPECT_EQ(ask(fd, STM_SET, std::string(STMCC_NAME_MAX + 1, 's').c_str()), STMCC_ERR_NAME);
    for (int i = 0; i < STMD_MAX_SUBSCRIPTIONS; i++)
        ASSERT_EQ(ask(fd, STM_SUBSCRIBE, ("s_" + std::to_string(i)).c_str()), STMCC_OK);
    EXPECT_EQ(ask(fd, STM_SUBSCRIBE, "s_one_more"), STMCC_ERR_FULL);
    close(fd);

    stmcc_t* other = started_client("other");
    int value = -1;
    EXPECT_EQ(stmcc_get_state(other, "s_after_junk", &value), STMCC_OK);
    EXPECT_EQ(value, 0);
    stmcc_delete(other);

    std::string log = daemon.stop();
    EXPECT_EQ(count_of(log, "malformed message"), 6) << log;
    EXPECT_EQ(count_of(log, "wrong size"), 3) << log;
    EXPECT_EQ(count_of(log, "not a state manager message"), 1) << log;
    EXPECT_EQ(count_of(log, "unknown message type"), 1) << log;
    EXPECT_EQ(count_of(log, "name not terminated"), 1) << log;
}

// A daemon killed without clean-up leaves its socket file behind; its
// successor must start. A live daemon or a file of another kind must not be
// replaced.
TEST(StateManagerDaemon, ListenReplacesOnlyStaleSockets) {
    StateManagerDaemon daemon;
    const std::string path = daemon.dir() + "/other";
    close(raw_socket(path, true));
    int fd = statemgrd_listen(path.c_str());
    EXPECT_GE(fd, 0);
    EXPECT_EQ(statemgrd_listen(path.c_str()), -1); // now a listener lives there
    close(fd);
    unlink(path.c_str());

    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fclose(file);
    EXPECT_EQ(statemgrd_listen(path.c_str()), -1);
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(path.c_str());
    EXPECT_EQ(statemgrd_listen(("/tmp/" + std::string(110, 'l')).c_str()), -1);
}
