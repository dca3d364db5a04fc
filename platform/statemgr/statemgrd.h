// The state manager daemon's work, apart from its command line, so that a
// test can fork and serve in-process (a test cannot exec a program built for
// another machine under an emulator).
#pragma once

#include <csignal>

// Limits that keep one misbehaving client from exhausting the daemon.
enum {
    STMD_MAX_CLIENTS = 64,
    STMD_MAX_SUBSCRIPTIONS = 64, // per client
    STMD_MAX_QUEUED = 256,       // changes waiting per client; the oldest goes first
    STMD_MAX_STATES = 1024,
};

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

// Syslog at LOG_DAEMON | LOG_NOTICE: the daemon's notes and complaints.
void statemgrd_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
