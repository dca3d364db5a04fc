#include "core/signals.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

#include "core/gv.h"
#include "support/log.h"

const int fatal_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT, SIGKILL, SIGINT, SIGTERM, 0};

namespace {

// Signal numbers whose lines are owed, in arrival order. Handlers append
// with every signal blocked, so a handler interrupting another cannot take
// the same slot; the main flow takes the whole queue the same way.
constexpr int queue_size = 64;
volatile sig_atomic_t owed[queue_size];
volatile sig_atomic_t owed_count;
// Beyond the queue (a flood of SIGUSR1 while a recognition runs) the order
// is given up, not the lines: each signal keeps a count of its own.
volatile sig_atomic_t overflow[NSIG];
volatile sig_atomic_t overflowed;
// Children whose interpreter could not run the program (126: not
// executable, 127: not found), and the last such status.
volatile sig_atomic_t not_run;
volatile sig_atomic_t not_run_status;

class SignalsBlocked {
  public:
    SignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &previous_);
    }
    ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

  private:
    sigset_t previous_;
};

void owe_line(int sig) {
    SignalsBlocked blocked;
    const int count = owed_count;
    if (count < queue_size) {
        owed[count] = sig;
        owed_count = count + 1;
    } else if (sig > 0 && sig < NSIG) {
        overflow[sig] = overflow[sig] + 1;
        overflowed = 1;
    }
}

void set_default_action(int sig) {
    struct sigaction action;
    if (sigaction(sig, nullptr, &action) != 0)
        return;
    action.sa_handler = SIG_DFL;
    sigaction(sig, &action, nullptr);
}

void write_owed_line(int sig) {
    if (sig == SIGUSR1)
        log_line("Usr1Handler", "USR1");
    else
        log_line("Parachute", "signal = %d\n", sig);
}

} // namespace

void InstallParachute() {
    for (const int* sig = fatal_signals; *sig != 0; ++sig) {
        struct sigaction action;
        if (sigaction(*sig, nullptr, &action) != 0)
            continue;
        if (action.sa_handler != SIG_DFL) {
            LOG("Ignore signal %d\n", *sig);
            continue;
        }
        // Mask and flags stay as they were; SIGKILL refuses, unreported.
        action.sa_handler = Parachute;
        sigaction(*sig, &action, nullptr);
    }
}

void RemoveParachute() {
    for (const int* sig = fatal_signals; *sig != 0; ++sig) {
        struct sigaction action;
        if (sigaction(*sig, nullptr, &action) != 0 || action.sa_handler != Parachute)
            continue;
        action.sa_handler = SIG_DFL;
        sigaction(*sig, &action, nullptr);
    }
}

void Parachute(int sig) {
    const int saved_errno = errno;
    if (stop == 1) {
        // The default action first: raised while its own handler runs, the
        // signal waits until the handler returns, and then ends the process.
        set_default_action(sig);
        raise(sig);
        errno = saved_errno;
        return;
    }
    stop = 1;
    owe_line(sig);
    set_default_action(sig);
    errno = saved_errno;
}

void Usr1Handler(int sig) {
    const int saved_errno = errno;
    usr1_flag = 1;
    owe_line(sig);
    errno = saved_errno;
}

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

int take_children_not_run(int* status) {
    SignalsBlocked blocked;
    const int count = not_run;
    not_run = 0;
    *status = not_run_status;
    return count;
}

void write_signal_lines() {
    if (owed_count == 0 && overflowed == 0)
        return;
    int taken[queue_size];
    int count = 0;
    int lost[NSIG] = {};
    {
        SignalsBlocked blocked;
        count = owed_count;
        for (int i = 0; i < count; ++i)
            taken[i] = owed[i];
        owed_count = 0;
        if (overflowed != 0) {
            for (int sig = 1; sig < NSIG; ++sig) {
                lost[sig] = overflow[sig];
                overflow[sig] = 0;
            }
            overflowed = 0;
        }
    }
    for (int i = 0; i < count; ++i)
        write_owed_line(taken[i]);
    for (int sig = 1; sig < NSIG; ++sig)
        for (int n = 0; n < lost[sig]; ++n)
            write_owed_line(sig);
}
