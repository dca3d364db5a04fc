#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/statemgr/stm_protocol.h"
#include "tests/statemgr/daemon_fixture.h"

namespace {

// A bare connection to the daemon, as a broken client would make it.
int raw_connection(const std::string& path) {
    sockaddr_un sa;
    if (!stm_socket_address(path.c_str(), &sa))
        return -1;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    // A daemon that fails to answer or to hang up fails the test, never hangs it.
    const timeval limit = {10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

// Sends a request and returns the code of the next reply, or -1 when that
// reply does not answer this request.
int ask(int fd, stm_type type, const std::string& name) {
    static uint32_t seq;
    stm_msg_t request = stm_message(type);
    request.seq = ++seq;
    snprintf(request.name, sizeof request.name, "%s", name.c_str());
    send(fd, &request, sizeof request, 0);
    stm_msg_t reply;
    if (recv(fd, &reply, sizeof reply, 0) != static_cast<ssize_t>(sizeof reply))
        return -1;
    return reply.type == STM_REPLY && reply.seq == request.seq ? reply.code : -1;
}

std::string packet(stm_msg_t msg) {
    return std::string(reinterpret_cast<const char*>(&msg), sizeof msg);
}

} // namespace

// Whatever is not one whole request of ours is dropped without an answer, and
// the daemon goes on serving that connection and the others. Well-formed
// nonsense is answered with an error code instead.
TEST(StateManagerDaemon, MalformedMessagesAreDroppedUnanswered) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    int fd = raw_connection(daemon.address());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ask(fd, STM_SET, "s_early"), STMCC_ERR_NOT_STARTED);

    const std::string hello = packet(stm_message(STM_HELLO));
    stm_msg_t foreign = stm_message(STM_HELLO), unterminated = stm_message(STM_HELLO);
    foreign.magic ^= 1;
    memset(unterminated.name, 'n', sizeof unterminated.name);
    const std::string junk[] = {"",
                                hello.substr(1),
                                hello + std::string(40, 'o'),
                                packet(foreign),
                                packet(unterminated),
                                packet(stm_message(static_cast<stm_type>(0))),
                                packet(stm_message(static_cast<stm_type>(STM_REQUEST_LAST + 1))),
                                packet(stm_message(STM_REPLY))};
    for (const std::string& bytes : junk)
        ASSERT_EQ(send(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));

    EXPECT_EQ(ask(fd, STM_HELLO, "bad\x01name"), STMCC_ERR_NAME);
    EXPECT_EQ(ask(fd, STM_HELLO, "raw"), STMCC_OK);
    EXPECT_EQ(ask(fd, STM_HELLO, "raw"), STMCC_ERR_STARTED);
    EXPECT_EQ(ask(fd, STM_SET, "s_after_junk"), STMCC_OK);
    EXPECT_EQ(ask(fd, STM_SET, std::string(STMCC_NAME_MAX + 1, 's')), STMCC_ERR_NAME);
    for (int i = 0; i < STMD_MAX_SUBSCRIPTIONS; i++)
        ASSERT_EQ(ask(fd, STM_SUBSCRIBE, "s_" + std::to_string(i)), STMCC_OK);
    EXPECT_EQ(ask(fd, STM_SUBSCRIBE, "s_one_more"), STMCC_ERR_FULL);
    close(fd);
}

// A daemon killed without clean-up leaves its socket file behind; its
// successor must start. A live daemon or a file of another kind must not be
// replaced.
TEST(StateManagerDaemon, ListenReplacesOnlyStaleSockets) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    EXPECT_EQ(statemgrd_listen(daemon.address().c_str()), -1);
    daemon.stop();
    EXPECT_TRUE(daemon.start());

    const std::string path = daemon.dir() + "/file";
    close(open(path.c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(statemgrd_listen(path.c_str()), -1);
    struct stat st;
    EXPECT_TRUE(stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
    unlink(path.c_str());
    EXPECT_EQ(statemgrd_listen(("/tmp/" + std::string(110, 'l')).c_str()), -1);
}

// Connections that never introduce themselves must not keep the service
// out: at the limit the oldest of them makes room, told why, and the rest
// are closed once their time is up.
TEST(StateManagerDaemon, IdleConnectionsNeverLockOutClients) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    std::vector<int> idle;
    for (int i = 0; i < STMD_MAX_CLIENTS; i++) {
        idle.push_back(raw_connection(daemon.address()));
        ASSERT_GE(idle.back(), 0);
    }
    stmcc_t* service = started_client("dravel.state_mgr_2");
    ASSERT_NE(service, nullptr);
    int told = 0, closed = 0;
    for (int fd : idle) {
        stm_msg_t msg;
        ssize_t n = recv(fd, &msg, sizeof msg, 0);
        if (n == static_cast<ssize_t>(sizeof msg) && msg.type == STM_REPLY && msg.seq == 0 &&
            msg.code == STMCC_ERR_TOO_MANY) {
            told++;
            n = recv(fd, &msg, sizeof msg, 0);
        }
        closed += n == 0 ? 1 : 0;
        close(fd);
    }
    EXPECT_EQ(closed, STMD_MAX_CLIENTS);
    EXPECT_LE(told, 1);
    EXPECT_EQ(stmcc_set_state(service, "s_still_served", 1), STMCC_OK);
    stmcc_delete(service);
}

// A client that sends nothing but garbage is dropped; the others are not.
TEST(StateManagerDaemon, ClientSendingGarbageIsDropped) {
    StateManagerDaemon daemon;
    ASSERT_TRUE(daemon.start());
    stmcc_t* service = started_client("service");
    int fd = raw_connection(daemon.address());
    ASSERT_EQ(ask(fd, STM_HELLO, "garbage"), STMCC_OK);
    for (int i = 0; i < STMD_MAX_MALFORMED; i++)
        send(fd, "junk", 4, MSG_NOSIGNAL);
    char byte;
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0);
    close(fd);
    EXPECT_EQ(stmcc_set_state(service, "s_still_served", 1), STMCC_OK);
    stmcc_delete(service);
}

// A burst of lines passes, the rest of the second is held back and counted,
// and the count goes out with the next line of a later second.
TEST(StateManagerDaemon, LogLinesAClientCanProvokeAreRateLimited) {
    stmd_log_limit limit = {};
    unsigned held_back = 99;
    int logged = 0;
    for (int i = 0; i < 1000; i++)
        logged += stmd_log_allowed(&limit, 5000 + i % 900, &held_back) ? 1 : 0;
    EXPECT_EQ(logged, STMD_LOG_BURST);
    EXPECT_EQ(held_back, 0u);
    EXPECT_TRUE(stmd_log_allowed(&limit, 5000 + STMD_LOG_WINDOW_MS, &held_back));
    EXPECT_EQ(held_back, 1000u - STMD_LOG_BURST);
    EXPECT_TRUE(stmd_log_allowed(&limit, 5000 + STMD_LOG_WINDOW_MS, &held_back));
    EXPECT_EQ(held_back, 0u);
}

// Whoever starts the daemon learns what is wrong on its own terminal, not
// only in the system log.
TEST(StateManagerDaemon, CommandLineAndListenFailuresAreToldOnStandardError) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-x"}, "statemgrd: unknown option -x\nUsage: statemgrd"},
        {{"-a"}, "statemgrd: -a needs the socket path to listen at\n"},
        {{"-f", "-a", "/nonexistent-folder/sock"},
         "statemgrd: cannot listen at /nonexistent-folder/sock: 2 [No such file or directory]\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"statemgrd"};
        words.insert(words.end(), c.first.begin(), c.first.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(&word[0]);
        FILE* err = tmpfile();
        const int status = statemgrd_main(static_cast<int>(argv.size()), argv.data(), stdout, err);
        EXPECT_EQ(status, c.first.size() == 1 ? 2 : 1);
        std::string said(static_cast<size_t>(ftell(err)), '\0');
        rewind(err);
        said.resize(fread(&said[0], 1, said.size(), err));
        fclose(err);
        EXPECT_EQ(said.find(c.second), 0u) << said;
    }
}
