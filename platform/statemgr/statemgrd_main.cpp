// statemgrd: the board's state manager, stood in for on a PC.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stmcc.h"

namespace {

volatile sig_atomic_t stopping;

void on_stop_signal(int) {
    stopping = 1;
}

void usage(FILE* out) {
    fprintf(out, "Usage: statemgrd [-f] [-a ADDRESS]\n"
                 "Keeps named states and passes named events between the board's programs.\n"
                 "  -f          stay in the foreground and log to standard error as well\n"
                 "  -a ADDRESS  socket path to listen at (default: $STATEMGR_SOCKET, else\n"
                 "              /tmp/statemgr.sock)\n"
                 "  --help      show this text\n"
                 "Stops on SIGTERM, SIGINT or SIGHUP and removes its socket.\n");
}

// The parent returns only once the socket listens, so whoever started the
// daemon may connect as soon as it exits.
int detach() {
    pid_t pid = fork();
    if (pid < 0) {
        perror("statemgrd: fork");
        return -1;
    }
    if (pid > 0)
        _exit(0);
    setsid();
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        if (null_fd > 2)
            close(null_fd);
    }
    return 0;
}

void install_stop_handlers() {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    bool foreground = false;
    const char* address = stmcc_address();
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0) {
            usage(stdout);
            return 0;
        }
        if (strcmp(argv[i], "-f") == 0) {
            foreground = true;
        } else if (strcmp(argv[i], "-a") == 0 && i + 1 < argc) {
            address = argv[++i];
        } else {
            usage(stderr);
            return 2;
        }
    }
    openlog("statemgrd", LOG_PID | (foreground ? LOG_PERROR : 0), LOG_DAEMON);
    install_stop_handlers();
    int listen_fd = statemgrd_listen(address);
    if (listen_fd < 0) {
        fprintf(stderr, "statemgrd: cannot listen at %s\n", address);
        return 1;
    }
    if (!foreground && detach() != 0) {
        close(listen_fd);
        unlink(address);
        return 1;
    }
    int result = statemgrd_serve(listen_fd, &stopping);
    unlink(address);
    closelog();
    return result == 0 ? 0 : 1;
}
