#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <syslog.h>
#include <unistd.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stmcc.h"

namespace {

volatile sig_atomic_t stopping;

void on_stop_signal(int) {
    stopping = 1;
}

const char usage_text[] =
    "Usage: statemgrd [-f] [-a ADDRESS]\n"
    "Keeps named states and passes named events between the board's programs.\n"
    "  -f          stay in the foreground and log to standard error as well\n"
    "  -a ADDRESS  socket path to listen at (default: $STATEMGR_SOCKET, else\n"
    "              /tmp/statemgr.sock)\n"
    "  --help      show this text\n"
    "Stops on SIGTERM, SIGINT or SIGHUP and removes its socket.\n";

// The parent returns only once the socket listens, so whoever started the
// daemon may connect as soon as it exits.
int detach() {
    pid_t pid = fork();
    if (pid < 0) {
        statemgrd_log("cannot detach: fork() failed: %d [%s]\n", errno, strerror(errno));
        return -1;
    }
    if (pid > 0)
        _exit(0);
    setsid();
    statemgrd_log_also_to(nullptr);
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

// What is wrong with the command line; empty when it is whole.
std::string read_command_line(int argc, char** argv, bool* foreground, const char** address) {
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-f") == 0)
            *foreground = true;
        else if (strcmp(argv[i], "-a") != 0)
            return (argv[i][0] == '-' ? "unknown option " : "unexpected argument ") +
                   std::string(argv[i]);
        else if (i + 1 >= argc)
            return "-a needs the socket path to listen at";
        else
            *address = argv[++i];
    }
    return "";
}

int listen_and_serve(const char* address, bool foreground) {
    int listen_fd = statemgrd_listen(address);
    if (listen_fd < 0)
        return 1;
    install_stop_handlers();
    if (!foreground && detach() != 0) {
        close(listen_fd);
        unlink(address);
        return 1;
    }
    int result = statemgrd_serve(listen_fd, &stopping);
    unlink(address);
    return result == 0 ? 0 : 1;
}

} // namespace

int statemgrd_main(int argc, char** argv, FILE* out, FILE* err) {
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(usage_text, out);
        return fflush(out) == 0 ? 0 : 1;
    }
    bool foreground = false;
    const char* address = stmcc_address();
    const std::string wrong = read_command_line(argc, argv, &foreground, &address);
    if (!wrong.empty()) {
        fprintf(err, "statemgrd: %s\n%s", wrong.c_str(), usage_text);
        return 2;
    }
    // Whoever starts the daemon learns why it cannot, not only the log.
    openlog("statemgrd", LOG_PID, LOG_DAEMON);
    statemgrd_log_also_to(err);
    const int status = listen_and_serve(address, foreground);
    statemgrd_log_also_to(nullptr);
    closelog();
    return status;
}
