#include <cerrno>
#include <csignal>

#include "core/signals.h"
#include "support/log.h"
#include "support/process_values.h"

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
