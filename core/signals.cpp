#include "core/signals.h"

#include <cerrno>
#include <csignal>

#include "support/log.h"
#include "support/process_values.h"
#include "support/signal_log.h"

const int fatal_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT, SIGKILL, SIGINT, SIGTERM, 0};

namespace {

// Signal numbers whose lines are owed, in arrival order. Handlers append
// with every signal blocked, so a handler interrupting another cannot take
// the same slot. The main flow writes them one at a time and counts one as
// written only after writing it, so that a handler that ends the process in
// between writes the rest itself: at worst one line twice, never one lost.
constexpr int queue_size = 64;
volatile sig_atomic_t owed[queue_size];
volatile sig_atomic_t owed_count;
volatile sig_atomic_t owed_written;
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

// The line a signal owes into `line`, and the name of the handler that
// owes it, which the line is logged under.
const char* owed_line(int sig, SignalText* line) {
    if (sig == SIGUSR1) {
        add_text(line, "USR1");
        return "Usr1Handler";
    }
    add_text(line, "signal = ");
    add_number(line, static_cast<unsigned long>(sig), 1, '0');
    add_text(line, "\n");
    return "Parachute";
}

void write_owed_line(int sig) {
    SignalText line;
    const char* handler = owed_line(sig, &line);
    log_line(handler, "%.*s", static_cast<int>(line.length), line.bytes);
}

void send_owed_line(int sig) {
    SignalText line;
    const char* handler = owed_line(sig, &line);
    send_signal_log_line(handler, line);
}

// The process ends by `sig`: the lines still owed and then its own go to the
// system log from here, as the main flow will never write them. With the
// default action back, the signal raised again waits for the handler to
// return and then ends the process as it would have without the handler, a
// core dump included.
void die_by(int sig) {
    SignalsBlocked blocked;
    for (int i = owed_written; i < owed_count; ++i)
        send_owed_line(owed[i]);
    for (int other = 1; other < NSIG; ++other)
        for (int n = overflow[other]; n > 0; --n)
            send_owed_line(other);
    send_owed_line(sig);
    set_default_action(sig);
    raise(sig);
}

bool is_fault(int sig) {
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE;
}

// A signal counted beyond the queue, 0 when none is left. Signals blocked.
int counted_signal() {
    for (int sig = 1; sig < NSIG; ++sig)
        if (overflow[sig] > 0)
            return sig;
    overflowed = 0;
    return 0;
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
    // A fault comes back as soon as the handler returns, and a fatal signal
    // while the loop is stopping ends the process: either way only a line
    // written here is ever seen. A first signal keeps the handler, so that
    // a second one of the same kind still writes its line before the end.
    if (stop == 1 || is_fault(sig)) {
        die_by(sig);
    } else {
        stop = 1;
        owe_line(sig);
    }
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
    for (;;) {
        int sig = 0;
        bool queued = false;
        {
            SignalsBlocked blocked;
            queued = owed_written < owed_count;
            if (queued) {
                sig = owed[owed_written];
            } else {
                owed_written = 0;
                owed_count = 0;
                sig = counted_signal();
                if (sig == 0)
                    return;
            }
        }
        write_owed_line(sig);
        SignalsBlocked blocked;
        if (queued)
            owed_written = owed_written + 1;
        else
            overflow[sig] = overflow[sig] - 1;
    }
}
