#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/statemgrd_state.h"
#include "platform/statemgr/stmcc.h"

namespace {

int64_t monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A refused client is told why before the connection ends: a reply to no
// request of its own (sequence 0), with the code that says so.
void refuse(int fd, int code) {
    stm_msg_t refusal = stm_message(STM_REPLY);
    refusal.code = code;
    send(fd, &refusal, sizeof refusal, MSG_DONTWAIT | MSG_NOSIGNAL);
}

// Makes room for one more connection at the limit; false when every place
// is held by a started client.
bool make_room(stmd_daemon& daemon) {
    stmd_client* oldest = nullptr;
    size_t held = 0;
    for (stmd_client& client : daemon.clients) {
        if (client.gone)
            continue;
        held++;
        if (!client.started && (oldest == nullptr || client.accepted_ms < oldest->accepted_ms))
            oldest = &client;
    }
    if (held < STMD_MAX_CLIENTS)
        return true;
    if (oldest == nullptr)
        return false;
    statemgrd_log_limited(&daemon.refusals,
                          "client %u has not introduced itself, disconnected to make room\n",
                          oldest->serial);
    refuse(oldest->fd, STMCC_ERR_TOO_MANY);
    oldest->gone = true;
    return true;
}

void accept_client(int listen_fd, stmd_daemon& daemon) {
    int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            statemgrd_log("accept() failed: %d [%s]\n", errno, strerror(errno));
        return;
    }
    if (!make_room(daemon)) {
        statemgrd_log_limited(&daemon.refusals, "too many clients, connection refused\n");
        refuse(fd, STMCC_ERR_TOO_MANY);
        close(fd);
        return;
    }
    stmd_client client{};
    client.fd = fd;
    client.serial = ++daemon.next_serial;
    client.accepted_ms = monotonic_ms();
    daemon.clients.push_back(client);
}

// A connection that does not introduce itself in time only holds a place.
void drop_silent_clients(stmd_daemon& daemon, int64_t now_ms) {
    for (stmd_client& client : daemon.clients) {
        if (client.started || client.gone || now_ms - client.accepted_ms < STMD_HELLO_TIMEOUT_MS)
            continue;
        statemgrd_log_limited(&daemon.refusals,
                              "client %u did not introduce itself within %d ms, disconnected\n",
                              client.serial, static_cast<int>(STMD_HELLO_TIMEOUT_MS));
        client.gone = true;
    }
}

// How long ppoll may wait: until the first unstarted client's time is up.
bool next_timeout(const stmd_daemon& daemon, int64_t now_ms, timespec* timeout) {
    int64_t earliest = -1;
    for (const stmd_client& client : daemon.clients) {
        if (!client.started && (earliest < 0 || client.accepted_ms < earliest))
            earliest = client.accepted_ms;
    }
    if (earliest < 0)
        return false;
    int64_t left = earliest + STMD_HELLO_TIMEOUT_MS - now_ms;
    left = left < 0 ? 0 : left;
    timeout->tv_sec = static_cast<time_t>(left / 1000);
    timeout->tv_nsec = static_cast<long>(left % 1000) * 1000000;
    return true;
}

// Takes one packet from the client and answers it. A packet that is not a
// whole, well-formed request is dropped: the client may go on.
void serve_client(stmd_daemon& daemon, stmd_client& client, short revents) {
    unsigned char packet[sizeof(stm_msg_t) + 1];
    ssize_t n = recv(client.fd, packet, sizeof packet, MSG_DONTWAIT);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            client.gone = true;
        return;
    }
    // A packet may be empty; only the hang-up tells that the client is gone.
    if (n == 0 && (revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) {
        client.gone = true;
        return;
    }
    stm_msg_t request;
    stm_defect defect = stm_decode(packet, static_cast<size_t>(n), &request);
    if (defect == STM_WELL_FORMED && request.type > STM_REQUEST_LAST)
        defect = STM_BAD_TYPE;
    if (defect != STM_WELL_FORMED) {
        statemgrd_log_limited(&daemon.malformed,
                              "malformed message (%d bytes) from client %u dropped: %s\n",
                              static_cast<int>(n), client.serial, stm_defect_str(defect));
        if (++client.malformed >= STMD_MAX_MALFORMED) {
            statemgrd_log_limited(&daemon.refusals,
                                  "client %u sent %u malformed messages, disconnected\n",
                                  client.serial, client.malformed);
            client.gone = true;
        }
        return;
    }
    client.requests++;
    stmd_send(client, stmd_answer(daemon, client, request));
}

void close_gone_clients(stmd_daemon& daemon) {
    for (stmd_client& client : daemon.clients)
        if (client.gone)
            close(client.fd);
    auto gone = [](const stmd_client& client) { return client.gone; };
    daemon.clients.erase(std::remove_if(daemon.clients.begin(), daemon.clients.end(), gone),
                         daemon.clients.end());
}

void close_all(int listen_fd, stmd_daemon& daemon) {
    for (stmd_client& client : daemon.clients)
        client.gone = true;
    close_gone_clients(daemon);
    close(listen_fd);
}

} // namespace

void stmd_send(stmd_client& client, const stm_msg_t& msg) {
    if (client.gone)
        return;
    if (send(client.fd, &msg, sizeof msg, MSG_DONTWAIT | MSG_NOSIGNAL) ==
        static_cast<ssize_t>(sizeof msg))
        return;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        statemgrd_log("client %u '%.*s' does not read its messages, disconnected\n", client.serial,
                      STM_NAME_SIZE, client.name);
    client.gone = true;
}

int statemgrd_serve(int listen_fd, volatile sig_atomic_t* stop_flag) {
    sigset_t stopping, outside_wait;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopping, &outside_wait);
    sigset_t while_waiting = outside_wait;
    sigdelset(&while_waiting, SIGTERM);
    sigdelset(&while_waiting, SIGINT);
    sigdelset(&while_waiting, SIGHUP);

    stmd_daemon daemon{};
    int result = 0;
    std::vector<pollfd> fds;
    while (!*stop_flag) {
        fds.assign(1, pollfd{listen_fd, POLLIN, 0});
        for (const stmd_client& client : daemon.clients)
            fds.push_back(pollfd{client.fd, POLLIN | POLLRDHUP, 0});
        timespec timeout;
        const bool limited = next_timeout(daemon, monotonic_ms(), &timeout);
        if (ppoll(fds.data(), fds.size(), limited ? &timeout : nullptr, &while_waiting) < 0) {
            if (errno == EINTR)
                continue;
            statemgrd_log("ppoll() failed: %d [%s]\n", errno, strerror(errno));
            result = -1;
            break;
        }
        // Clients first: accepting appends to the list that fds[1...] mirrors.
        for (size_t i = 1; i < fds.size(); i++)
            if (fds[i].revents != 0)
                serve_client(daemon, daemon.clients[i - 1], fds[i].revents);
        if (fds[0].revents & POLLIN)
            accept_client(listen_fd, daemon);
        drop_silent_clients(daemon, monotonic_ms());
        close_gone_clients(daemon);
    }
    close_all(listen_fd, daemon);
    sigprocmask(SIG_SETMASK, &outside_wait, nullptr);
    return result;
}
