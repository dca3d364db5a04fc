#include "records/external_program.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>

#include "support/gv.h"
#include "support/log.h"
#include "support/support_routines.h"

extern char** environ;

namespace {

// A program that cannot be started fails on every passage; one line a minute
// says so without filling the log of a busy gate.
constexpr time_t failure_line_seconds = 60;

// The failures since the last line, kept between passages until the loop's
// report may say them.
struct Failures {
    int unreported;
    char last[96];
    bool logged;
    time_t logged_at;
};
Failures failures;

// Children whose interpreter could not run the program (126: not
// executable, 127: not found), and the last such status. Written by
// sigchldhandler, taken by the loop's report.
volatile sig_atomic_t not_run;
volatile sig_atomic_t not_run_status;

// How many reaped children ended with status 126 or 127 since the last call,
// and the last such status into *status. SIGCHLD waits meanwhile, so no
// child is counted twice or lost.
int take_children_not_run(int* status) {
    sigset_t child;
    sigset_t previous;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    sigprocmask(SIG_BLOCK, &child, &previous);
    const int count = not_run;
    not_run = 0;
    *status = not_run_status;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return count;
}

__attribute__((format(printf, 2, 3))) void note_failure(int count, const char* fmt, ...) {
    failures.unreported += count;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(failures.last, sizeof failures.last, fmt, ap);
    va_end(ap);
}

} // namespace

void sigchldhandler(int) {
    const int saved_errno = errno;
    // Children that end together raise one SIGCHLD between them.
    int status = 0;
    while (waitpid(-1, &status, WNOHANG) > 0) {
        if (WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127)) {
            not_run = not_run + 1;
            not_run_status = WEXITSTATUS(status);
        }
    }
    errno = saved_errno;
}

int start_external_program(const char* line) {
    if (gv.external_program[0] == '\0')
        return -1;
    // The line is the interpreter's positional parameter "$1", so quotes,
    // "$", backquotes or ";" inside it reach the program as plain bytes.
    // No "&": the service starts the interpreter without waiting for it,
    // so a configured text that ends in a comment holds nothing up.
    char script[sizeof gv.external_program + sizeof " \"$1\""];
    snprintf(script, sizeof script, "%.*s \"$1\"", static_cast<int>(sizeof gv.external_program),
             gv.external_program);
    char sh[] = "sh";
    char dash_c[] = "-c";
    char* const argv[] = {sh, dash_c, script, sh, const_cast<char*>(line), nullptr};

    // The program gets the signal state of a freshly started one, not the
    // service's handlers, ignored signals or mask.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        note_failure(1, "no spawn attributes");
        return -1;
    }
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    sigdelset(&signals, SIGKILL);
    sigdelset(&signals, SIGSTOP);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t shell = 0;
    // Never waited for: sigchldhandler reaps the interpreter when it ends.
    const int error = posix_spawn(&shell, "/bin/sh", nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        note_failure(1, "interpreter not started: %d [%s]", error, strerror(error));
        return -1;
    }
    return 0;
}

void report_external_program_failures() {
    int status = 0;
    const int not_run = take_children_not_run(&status);
    if (not_run > 0)
        note_failure(not_run, "interpreter ended with status %d", status);
    if (failures.unreported == 0)
        return;
    const time_t now = monotonic_seconds();
    if (failures.logged && now - failures.logged_at < failure_line_seconds)
        return;
    if (failures.unreported == 1)
        LOG("external program failed: %s", failures.last);
    else
        LOG("external program failed %d times, the last: %s", failures.unreported, failures.last);
    failures.unreported = 0;
    failures.logged = true;
    failures.logged_at = now;
}
