#include "platform/statemgr/stmcc.h"
// The service's own declarations of these calls: any difference fails here.
#include "board/board_statemgr.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/statemgr/stm_protocol.h"

struct stmcc {
    int fd = -1;          // -1 before the start and after the daemon went away
    bool started = false; // tells "not started" from "connection lost" once fd is -1
    uint32_t seq = 0;     // of the last request; a late reply to an earlier one is skipped
    // Notices that came in while a watching client waited for a reply.
    std::deque<stm_msg_t> notices;
};

namespace {

const char default_address[] = "/tmp/statemgr.sock";
// Notices kept for a watcher that makes requests instead of reading them.
const size_t max_kept_notices = 1024;

void close_connection(stmcc_t* handle) {
    if (handle->fd >= 0)
        close(handle->fd);
    handle->fd = -1;
}

int connection_state(const stmcc_t* handle) {
    if (handle->fd >= 0)
        return STMCC_OK;
    return handle->started ? STMCC_ERR_CLOSED : STMCC_ERR_NOT_STARTED;
}

int connect_to_daemon(int* fd_out) {
    sockaddr_un sa;
    if (!stm_socket_address(stmcc_address(), &sa))
        return STMCC_ERR_ADDRESS;
    // Close-on-exec: the shells that the service starts have no business
    // with its state manager connection. fork() keeps it all the same.
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return STMCC_ERR_CONNECT;
    timeval limit = {STMCC_REPLY_TIMEOUT_MS / 1000, (STMCC_REPLY_TIMEOUT_MS % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return STMCC_ERR_CONNECT;
    }
    *fd_out = fd;
    return STMCC_OK;
}

// Takes one packet. STMCC_OK with a decoded message, STMCC_ERR_TIMEOUT, or the
// code of a broken connection (which is then closed).
int receive(stmcc_t* handle, stm_msg_t* msg, int flags) {
    unsigned char packet[sizeof(stm_msg_t) + 1];
    ssize_t n;
    do {
        n = recv(handle->fd, packet, sizeof packet, flags);
    } while (n < 0 && errno == EINTR);
    // A daemon that closed the connection with a request of ours unread is
    // reported first; what it sent before closing is still there to read.
    if (n < 0 && errno == ECONNRESET)
        n = recv(handle->fd, packet, sizeof packet, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return STMCC_ERR_TIMEOUT;
    if (n <= 0) {
        close_connection(handle);
        return STMCC_ERR_CLOSED;
    }
    if (stm_decode(packet, static_cast<size_t>(n), msg) != STM_WELL_FORMED)
        return STMCC_ERR_PROTOCOL;
    return STMCC_OK;
}

// The daemon's reason for refusing the connection, when `msg` is one: a
// reply to no request (sequence 0). -1 for any other message.
int refusal(const stm_msg_t& msg) {
    return msg.type == STM_REPLY && msg.seq == 0 && msg.code != STMCC_OK ? msg.code : -1;
}

// Sends `msg` as the next request and replaces it with the daemon's reply.
// Returns a transport failure, or else the reply's own code.
int exchange(stmcc_t* handle, stm_msg_t* msg) {
    int state = connection_state(handle);
    if (state != STMCC_OK)
        return state;
    // Sequence 0 is the daemon's refusal of the connection, never a request.
    msg->seq = ++handle->seq != 0 ? handle->seq : ++handle->seq;
    ssize_t n;
    do {
        n = send(handle->fd, msg, sizeof *msg, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return STMCC_ERR_TIMEOUT;
    if (n != static_cast<ssize_t>(sizeof *msg)) {
        // A daemon that refused the connection may have closed it before
        // the request arrived; its reason may be waiting all the same.
        const int refused = receive(handle, msg, MSG_DONTWAIT) == STMCC_OK ? refusal(*msg) : -1;
        close_connection(handle);
        return refused >= 0 ? refused : STMCC_ERR_CLOSED;
    }
    const uint32_t seq = msg->seq;
    for (;;) {
        int code = receive(handle, msg, 0);
        if (code != STMCC_OK)
            return code;
        if (refusal(*msg) >= 0) {
            close_connection(handle);
            return msg->code;
        }
        if (msg->type == STM_NOTICE) {
            if (handle->notices.size() >= max_kept_notices)
                handle->notices.pop_front();
            handle->notices.push_back(*msg);
            continue;
        }
        // A reply that came after its request timed out is skipped.
        if (msg->type == STM_REPLY && msg->seq == seq)
            return msg->code;
    }
}

// A request about one state or event; `msg` receives the reply.
int named_request(stmcc_t* handle, stm_type type, const char* name, int value, stm_msg_t* msg) {
    if (handle == nullptr || name == nullptr)
        return STMCC_ERR_ARGUMENT;
    if (!stm_valid_item_name(name))
        return STMCC_ERR_NAME;
    *msg = stm_message(type);
    snprintf(msg->name, sizeof msg->name, "%s", name);
    msg->value = value;
    return exchange(handle, msg);
}

} // namespace

const char* stmcc_address(void) {
    const char* address = getenv("STATEMGR_SOCKET");
    return address != nullptr && address[0] != '\0' ? address : default_address;
}

stmcc_t* stmcc_new(void) {
    return new (std::nothrow) stmcc();
}

int stmcc_start_as_msg_queue_client(stmcc_t* handle, stmcc_client_rec_t record) {
    if (handle == nullptr)
        return STMCC_ERR_ARGUMENT;
    if (handle->started)
        return STMCC_ERR_STARTED;
    // The record came from the caller: its name need not be terminated.
    stm_msg_t msg = stm_message(STM_HELLO);
    snprintf(msg.name, sizeof msg.name, "%.*s", static_cast<int>(sizeof record.name), record.name);
    if (!stm_valid_client_name(msg.name))
        return STMCC_ERR_NAME;
    msg.value = record.id;
    int code = connect_to_daemon(&handle->fd);
    if (code != STMCC_OK)
        return code;
    handle->started = true;
    code = exchange(handle, &msg);
    if (code != STMCC_OK) {
        // Not started after all: a later start may try again.
        close_connection(handle);
        handle->started = false;
    }
    return code;
}

int stmcc_subscribe(stmcc_t* handle, const char* state) {
    stm_msg_t reply;
    return named_request(handle, STM_SUBSCRIBE, state, 0, &reply);
}

int stmcc_wait_for_change_state(stmcc_t* handle, char* name, int* value, int flags) {
    if (handle == nullptr || name == nullptr || value == nullptr || flags != 0)
        return STMCC_ERR_ARGUMENT;
    stm_msg_t msg = stm_message(STM_NEXT_CHANGE);
    int code = exchange(handle, &msg);
    if (code != STMCC_OK)
        return code;
    if (!stm_valid_item_name(msg.name))
        return STMCC_ERR_PROTOCOL;
    snprintf(name, STMCC_NAME_MAX + 1, "%.*s", STMCC_NAME_MAX, msg.name);
    *value = msg.value;
    return STMCC_OK;
}

int stmcc_event_notify(stmcc_t* handle, const char* event, int value) {
    stm_msg_t reply;
    return named_request(handle, STM_NOTIFY, event, value, &reply);
}

void stmcc_delete(stmcc_t* handle) {
    if (handle == nullptr)
        return;
    close_connection(handle);
    delete handle;
}

int stmcc_set_state(stmcc_t* handle, const char* state, int value) {
    stm_msg_t reply;
    return named_request(handle, STM_SET, state, value, &reply);
}

int stmcc_get_state(stmcc_t* handle, const char* state, int* value) {
    if (value == nullptr)
        return STMCC_ERR_ARGUMENT;
    stm_msg_t reply;
    int code = named_request(handle, STM_GET, state, 0, &reply);
    if (code == STMCC_OK)
        *value = reply.value;
    return code;
}

int stmcc_watch(stmcc_t* handle) {
    if (handle == nullptr)
        return STMCC_ERR_ARGUMENT;
    stm_msg_t msg = stm_message(STM_WATCH);
    return exchange(handle, &msg);
}

int stmcc_wait_for_notice(stmcc_t* handle, stmcc_notice_t* notice, int timeout_ms) {
    if (handle == nullptr || notice == nullptr)
        return STMCC_ERR_ARGUMENT;
    stm_msg_t msg;
    for (;;) {
        if (!handle->notices.empty()) {
            msg = handle->notices.front();
            handle->notices.pop_front();
            break;
        }
        int state = connection_state(handle);
        if (state != STMCC_OK)
            return state;
        pollfd pfd = {handle->fd, POLLIN, 0};
        int ready = poll(&pfd, 1, timeout_ms < 0 ? -1 : timeout_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return STMCC_ERR_TIMEOUT;
        // Readable or broken: receive tells which.
        int code = receive(handle, &msg, 0);
        if (code != STMCC_OK)
            return code;
        if (msg.type == STM_NOTICE)
            break;
    }
    if (!stm_valid_item_name(msg.name))
        return STMCC_ERR_PROTOCOL;
    notice->kind = msg.extra;
    snprintf(notice->name, sizeof notice->name, "%.*s", STMCC_NAME_MAX, msg.name);
    notice->value = msg.value;
    notice->seconds = msg.seconds;
    notice->microseconds = msg.microseconds;
    return STMCC_OK;
}

int stmcc_client_info(stmcc_t* handle, int index, char* name, int* id, uint32_t* requests) {
    if (handle == nullptr || name == nullptr || id == nullptr || requests == nullptr)
        return STMCC_ERR_ARGUMENT;
    stm_msg_t msg = stm_message(STM_CLIENT_INFO);
    msg.value = index;
    int code = exchange(handle, &msg);
    if (code != STMCC_OK)
        return code;
    snprintf(name, STM_NAME_SIZE, "%.*s", STM_NAME_SIZE, msg.name);
    *id = msg.extra;
    *requests = static_cast<uint32_t>(msg.value);
    return STMCC_OK;
}

const char* stmc_get_result_str(int code) {
    switch (code) {
    case STMCC_OK:
        return "success";
    case STMCC_ERR_ARGUMENT:
        return "invalid argument";
    case STMCC_ERR_NOT_STARTED:
        return "client not started";
    case STMCC_ERR_STARTED:
        return "client already started";
    case STMCC_ERR_ADDRESS:
        return "state manager address too long";
    case STMCC_ERR_CONNECT:
        return "state manager not running";
    case STMCC_ERR_CLOSED:
        return "connection to the state manager lost";
    case STMCC_ERR_TIMEOUT:
        return "state manager did not answer";
    case STMCC_ERR_PROTOCOL:
        return "malformed answer from the state manager";
    case STMCC_ERR_NAME:
        return "invalid name: states and events are named by 1 to 31 printable ASCII characters "
               "without blanks, clients by 1 to 255 characters without control characters";
    case STMCC_NO_CHANGE:
        return "no change waiting";
    case STMCC_ERR_UNKNOWN:
        return "no such state or client";
    case STMCC_ERR_FULL:
        return "state manager limit reached";
    case STMCC_ERR_NO_MEMORY:
        return "out of memory";
    case STMCC_ERR_TOO_MANY:
        return "the state manager refused the connection: it has too many clients";
    }
    return "unknown result code";
}
