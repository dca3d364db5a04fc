// The state manager daemon's work, apart from its command line, so that a
// test can fork and serve in-process (a test cannot exec a program built for
// another machine under an emulator).
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>

// Limits that keep one misbehaving client from exhausting the daemon.
enum {
    // Connections, started or not. A connection must introduce itself
    // within STMD_HELLO_TIMEOUT_MS, and at the limit the oldest one that has
    // not yet makes room for a newcomer: connections that only sit there
    // never keep out a real client, the service among them.
    STMD_MAX_CLIENTS = 64,
    STMD_HELLO_TIMEOUT_MS = 2000,
    STMD_MAX_SUBSCRIPTIONS = 64, // per client
    STMD_MAX_QUEUED = 256,       // changes waiting per client; the oldest goes first
    STMD_MAX_STATES = 1024,
    STMD_MAX_MALFORMED = 16, // packets of garbage before a client is dropped
};

// Log lines of one kind that a client can provoke at will: at most
// STMD_LOG_BURST a second, and how many were held back is told with the next
// one that is logged.
enum { STMD_LOG_BURST = 10, STMD_LOG_WINDOW_MS = 1000 };
struct stmd_log_limit {
    int64_t window_start_ms;
    unsigned logged;    // within the window
    unsigned held_back; // since the last line logged
};

// Whether a line may be logged at `now_ms`; when it may, `*held_back`
// receives the lines held back before it.
bool stmd_log_allowed(stmd_log_limit* limit, int64_t now_ms, unsigned* held_back);

// statemgrd_log under `limit`.
void statemgrd_log_limited(stmd_log_limit* limit, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));

// Binds and listens at the socket path `address`. A socket file left behind
// by a daemon that is gone is replaced; a live daemon there, or a file that is
// not a socket, is left alone and refused. Returns the descriptor or -1
// (logged).
int statemgrd_listen(const char* address);

// Serves clients on `listen_fd` until *stop_flag becomes non-zero, then closes
// every connection and `listen_fd`. SIGTERM, SIGINT and SIGHUP are blocked
// except while waiting, so a handler that sets the flag is never missed; the
// caller installs that handler. Returns 0, or -1 when waiting itself failed.
int statemgrd_serve(int listen_fd, volatile sig_atomic_t* stop_flag);

// Syslog at LOG_DAEMON | LOG_NOTICE: the daemon's notes and complaints;
// also to the stream statemgrd_log_also_to names.
void statemgrd_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Where the log lines go besides syslog: the terminal of whoever started
// the daemon, until it detaches. Null for nowhere.
void statemgrd_log_also_to(FILE* stream);

// The whole daemon with its command line: exit status 0 after a stop
// signal, 1 when it cannot serve, 2 for a bad command line.
int statemgrd_main(int argc, char** argv, FILE* out, FILE* err);
