// The board's state manager client library, as the service calls it, and the
// few calls beyond it that stmgrclient and the tests use.
//
// Transport: one Unix-domain SOCK_SEQPACKET connection per client to the
// daemon statemgrd, whose socket path comes from STATEMGR_SOCKET (default
// "/tmp/statemgr.sock"). A file path, not an abstract name, because each
// simulated board has its own /tmp but may share the network namespace. A
// connected socket, because its descriptor is simply inherited by fork(): the
// service connects, forks, the parent exits, and the child goes on with the
// same connection, while the kernel tells either side at once when the other
// is gone. Sequenced packets keep every message whole without any framing of
// our own. Each call is one request and one reply; a daemon that stops
// answering costs a call at most STMCC_REPLY_TIMEOUT_MS, never a hang.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef struct stmcc stmcc_t;

// Passed by value to stmcc_start_as_msg_queue_client. The service's own view
// of this library defines the same record under the same guard, so a unit may
// include both headers in either order.
#ifndef STMCC_CLIENT_REC_DEFINED
#define STMCC_CLIENT_REC_DEFINED
struct stmcc_client_rec_t {
    int32_t id;     // always 80000; the daemon only reports it back
    char name[256]; // client name, zero-terminated
};
#endif
static_assert(sizeof(stmcc_client_rec_t) == 260, "client record is 260 bytes");
static_assert(offsetof(stmcc_client_rec_t, id) == 0, "layout");
static_assert(offsetof(stmcc_client_rec_t, name) == 4, "layout");

enum {
    STMCC_OK = 0,
    STMCC_ERR_ARGUMENT = 1,    // null handle or pointer, unknown flags
    STMCC_ERR_NOT_STARTED = 2, // stmcc_start_as_msg_queue_client has not succeeded
    STMCC_ERR_STARTED = 3,     // the client is started already
    STMCC_ERR_ADDRESS = 4,     // the daemon's address is too long for a socket
    STMCC_ERR_CONNECT = 5,     // no daemon listens at the address
    STMCC_ERR_CLOSED = 6,      // the daemon went away; the client is closed
    STMCC_ERR_TIMEOUT = 7,     // the daemon did not answer in time
    STMCC_ERR_PROTOCOL = 8,    // the daemon's answer made no sense
    STMCC_ERR_NAME = 9,        // a state, event or client name that is empty or too long
    STMCC_NO_CHANGE = 10,      // stmcc_wait_for_change_state: nothing is waiting
    STMCC_ERR_UNKNOWN = 11,    // no such state or client
    STMCC_ERR_FULL = 12,       // the daemon's limit of subscriptions or states is reached
    STMCC_ERR_NO_MEMORY = 13,
    STMCC_ERR_TOO_MANY = 14, // the daemon refused the connection: it has too many clients
};

// States and events are named by at most this many characters, printable
// ASCII without blanks, so that a name always fits the 32-byte buffer of
// stmcc_wait_for_change_state and one watch line.
enum { STMCC_NAME_MAX = 31 };
enum { STMCC_REPLY_TIMEOUT_MS = 1000 };

stmcc_t* stmcc_new(void);
int stmcc_start_as_msg_queue_client(stmcc_t* handle, stmcc_client_rec_t record);
// Each later set of the state or notification of the event of that name is
// queued for this client, also when the value did not change, so that an
// operator's repeated request is never lost.
int stmcc_subscribe(stmcc_t* handle, const char* state);
// Delivers one waiting change: the state's name into `name` (32 bytes) and its
// value. Returns STMCC_NO_CHANGE at once when nothing waits. `flags` must be 0.
int stmcc_wait_for_change_state(stmcc_t* handle, char* name, int* value, int flags);
int stmcc_event_notify(stmcc_t* handle, const char* event, int value);
// Closes the connection and frees the handle; null is allowed.
void stmcc_delete(stmcc_t* handle);
// A text for every code, known or not.
const char* stmc_get_result_str(int code);

// Beyond the service's calls.

int stmcc_set_state(stmcc_t* handle, const char* state, int value);
// STMCC_ERR_UNKNOWN when the state was never set.
int stmcc_get_state(stmcc_t* handle, const char* state, int* value);

enum { STMCC_NOTICE_STATE = 1, STMCC_NOTICE_EVENT = 2 };
struct stmcc_notice_t {
    int kind; // STMCC_NOTICE_STATE or STMCC_NOTICE_EVENT
    char name[STMCC_NAME_MAX + 1];
    int value;
    int64_t seconds; // when the daemon took it, since the epoch
    int32_t microseconds;
};
// From the reply on, every state set and event of every client is sent to
// this client, to be taken with stmcc_wait_for_notice.
int stmcc_watch(stmcc_t* handle);
// Waits up to `timeout_ms` (negative: without limit) for the next notice of a
// watching client; STMCC_ERR_TIMEOUT when none came.
int stmcc_wait_for_notice(stmcc_t* handle, stmcc_notice_t* notice, int timeout_ms);

// The started client at `index` (0, 1, ... in the order they connected): its
// name (256 bytes), the id of its client record, and how many requests the
// daemon has taken from it. STMCC_ERR_UNKNOWN past the last client.
int stmcc_client_info(stmcc_t* handle, int index, char* name, int* id, uint32_t* requests);

// The daemon's socket path: STATEMGR_SOCKET when set and not empty, else the
// default.
const char* stmcc_address(void);
}
