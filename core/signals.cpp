#include "core/signals.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include "core/gv.h"
#include "support/log.h"

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
// Children whose interpreter could not run the program (126: not
// executable, 127: not found), and the last such status.
volatile sig_atomic_t not_run;
volatile sig_atomic_t not_run_status;

// The system log's socket for the lines of a process that a signal ends,
// kept for the life of the process because a handler can open nothing
// safely. Unconnected, and addressed by path at every send: a log daemon
// restarted since start-up listens on a new socket under the same name.
struct SignalLog {
    int socket = -1;
    sockaddr_un address{};
    socklen_t address_length = 0;
    const char* ident = "";
    // Seconds east of UTC when the socket was opened (see add_time_stamp).
    long utc_offset = 0;
};
SignalLog signal_log;

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

// A text built without stdio or the heap, which a signal handler may use;
// what does not fit is cut.
struct Text {
    char bytes[512];
    size_t length = 0;
};

void add_text(Text* text, const char* part) {
    for (; *part != '\0' && text->length < sizeof text->bytes; ++part)
        text->bytes[text->length++] = *part;
}

// `value` in decimal, padded with `pad` to `width` digits.
void add_number(Text* text, unsigned long value, size_t width, char pad) {
    char digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (; count < width; ++count)
        digits[count] = pad;
    while (count > 0 && text->length < sizeof text->bytes)
        text->bytes[text->length++] = digits[--count];
}

// The line a signal owes into `line`, and the name of the handler that
// owes it, which the line is logged under.
const char* owed_line(int sig, Text* line) {
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
    Text line;
    const char* handler = owed_line(sig, &line);
    log_line(handler, "%.*s", static_cast<int>(line.length), line.bytes);
}

// "Mmm dd hh:mm:ss " as the C library's syslog writes it. Local time would
// need localtime, which is not async-signal-safe (it may read the zone file
// and takes a lock the interrupted flow may hold), so the clock is shifted
// by the zone's offset from UTC taken when the socket was opened. A zone set
// later in start-up (the TZ file), or a daylight-saving change since, shifts
// these last lines only, by the difference: that the line is there at all
// matters more than its time.
void add_time_stamp(Text* text) {
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long local = static_cast<long long>(now.tv_sec) + signal_log.utc_offset;
    long long days = local / 86400;
    long long second = local % 86400;
    if (second < 0) {
        second += 86400;
        --days;
    }
    // Month and day of the civil calendar from days since 1970-01-01, by
    // eras of 400 years that start on 1 March.
    const long long shifted = days + 719468;
    const long long era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const long long of_era = shifted - era * 146097;
    const long long year_of_era = (of_era - of_era / 1460 + of_era / 36524 - of_era / 146096) / 365;
    const long long of_year = of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long march_based = (5 * of_year + 2) / 153;
    const long long day = of_year - (153 * march_based + 2) / 5 + 1;
    const long long month = march_based < 10 ? march_based + 2 : march_based - 10;
    const char name[] = {months[3 * month], months[3 * month + 1], months[3 * month + 2], ' ',
                         '\0'};
    add_text(text, name);
    add_number(text, static_cast<unsigned long>(day), 2, ' ');
    add_text(text, " ");
    add_number(text, static_cast<unsigned long>(second / 3600), 2, '0');
    add_text(text, ":");
    add_number(text, static_cast<unsigned long>(second / 60 % 60), 2, '0');
    add_text(text, ":");
    add_number(text, static_cast<unsigned long>(second % 60), 2, '0');
    add_text(text, " ");
}

// Sends the line `sig` owes as the C library's syslog would send it for
// the service: "<8>" (priority 0 of LOG_USER), the time stamp, then
// "ident[pid]: " and the line.
void send_owed_line(int sig) {
    if (signal_log.socket == -1)
        return;
    Text line;
    const char* handler = owed_line(sig, &line);
    Text record;
    add_text(&record, "<");
    add_number(&record, LOG_USER, 1, '0');
    add_text(&record, ">");
    add_time_stamp(&record);
    add_text(&record, signal_log.ident);
    add_text(&record, "[");
    add_number(&record, static_cast<unsigned long>(getpid()), 1, '0');
    add_text(&record, "]: ");
    add_text(&record, handler);
    add_text(&record, ": ");
    for (size_t i = 0; i < line.length && record.length < sizeof record.bytes; ++i)
        record.bytes[record.length++] = line.bytes[i];
    sendto(signal_log.socket, record.bytes, record.length, 0,
           reinterpret_cast<const sockaddr*>(&signal_log.address), signal_log.address_length);
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

int open_signal_log(const char* ident, const char* path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = strlen(path);
    if (length >= sizeof address.sun_path) {
        LOG("socket path too long: %s\n", path);
        return -1;
    }
    memcpy(address.sun_path, path, length);
    const int handle = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (handle == -1) {
        const int error = errno;
        LOG("socket() failed: %d [%s]\n", error, strerror(error));
        return -1;
    }
    // The programs the service starts have no use for it.
    fcntl(handle, F_SETFD, FD_CLOEXEC);

    // The zone's offset: local time less UTC, both broken down, as seconds.
    const time_t now = time(nullptr);
    struct tm local {};
    struct tm utc {};
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
    long days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year)
        days = local.tm_year > utc.tm_year ? 1 : -1;
    signal_log.utc_offset =
        ((days * 24 + local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min) * 60 +
        local.tm_sec - utc.tm_sec;

    close_signal_log();
    signal_log.address = address;
    signal_log.address_length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + 1);
    signal_log.ident = ident;
    signal_log.socket = handle;
    return 0;
}

void close_signal_log() {
    if (signal_log.socket != -1)
        close(signal_log.socket);
    signal_log.socket = -1;
}
