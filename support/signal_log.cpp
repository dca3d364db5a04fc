#include "support/signal_log.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include "support/log.h"

namespace {

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

// "Mmm dd hh:mm:ss " as the C library's syslog writes it. Local time would
// need localtime, which is not async-signal-safe (it may read the zone file
// and takes a lock the interrupted flow may hold), so the clock is shifted
// by the zone's offset from UTC taken when the socket was opened. A zone set
// later in start-up (the TZ file), or a daylight-saving change since, shifts
// these last lines only, by the difference: that the line is there at all
// matters more than its time.
void add_time_stamp(SignalText* text) {
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
} // namespace

void add_text(SignalText* text, const char* part) {
    for (; *part != '\0' && text->length < sizeof text->bytes; ++part)
        text->bytes[text->length++] = *part;
}

// `value` in decimal, padded with `pad` to `width` digits.
void add_number(SignalText* text, unsigned long value, size_t width, char pad) {
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

void send_signal_log_line(const char* func, const SignalText& line) {
    if (signal_log.socket == -1)
        return;
    SignalText record;
    add_text(&record, "<");
    add_number(&record, LOG_USER, 1, '0');
    add_text(&record, ">");
    add_time_stamp(&record);
    add_text(&record, signal_log.ident);
    add_text(&record, "[");
    add_number(&record, static_cast<unsigned long>(getpid()), 1, '0');
    add_text(&record, "]: ");
    add_text(&record, func);
    add_text(&record, ": ");
    for (size_t i = 0; i < line.length && record.length < sizeof record.bytes; ++i)
        record.bytes[record.length++] = line.bytes[i];
    sendto(signal_log.socket, record.bytes, record.length, 0,
           reinterpret_cast<const sockaddr*>(&signal_log.address), signal_log.address_length);
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
