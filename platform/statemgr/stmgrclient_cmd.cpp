#include "platform/statemgr/stmgrclient_cmd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

const char usage_text[] =
    "Usage: stmgrclient COMMAND [ARGUMENTS]\n"
    "Talks to the state manager at $STATEMGR_SOCKET (default /tmp/statemgr.sock).\n"
    "  rise EVENT [VALUE]             raise the event, with the value 0 unless given\n"
    "  set STATE VALUE                set the state\n"
    "  get STATE                      print the state's value\n"
    "  watch [-n COUNT] [-t SECONDS]  print every state change and event, one a line:\n"
    "                                 \"YYYY-MM-DD HH:MM:SS.mmm state|event NAME VALUE\",\n"
    "                                 until stopped, COUNT lines or SECONDS passed\n"
    "  clients                        list the clients: name, record id, requests\n"
    "  --help                         show this text\n"
    "Exit status: 0 done, 1 refused by or no state manager, 2 bad command line.\n";

// A whole decimal number within [min, max], nothing else.
bool parse_number(const char* text, long min, long max, long* number) {
    if (text == nullptr || text[0] == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    long parsed = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max)
        return false;
    *number = parsed;
    return true;
}

int report(FILE* err, const char* command, int code) {
    if (code == STMCC_OK)
        return 0;
    fprintf(err, "stmgrclient: %s: %s\n", command, stmc_get_result_str(code));
    return 1;
}

stmcc_t* open_client(FILE* err) {
    stmcc_t* handle = stmcc_new();
    if (handle == nullptr) {
        report(err, "start", STMCC_ERR_NO_MEMORY);
        return nullptr;
    }
    stmcc_client_rec_t record;
    memset(&record, 0, sizeof record);
    snprintf(record.name, sizeof record.name, "stmgrclient.%d", static_cast<int>(getpid()));
    int code = stmcc_start_as_msg_queue_client(handle, record);
    if (code != STMCC_OK) {
        report(err, "start", code);
        stmcc_delete(handle);
        return nullptr;
    }
    return handle;
}

int rise(stmcc_t* handle, const char* event, int value, FILE* err) {
    return report(err, "rise", stmcc_event_notify(handle, event, value));
}

int set(stmcc_t* handle, const char* state, int value, FILE* err) {
    return report(err, "set", stmcc_set_state(handle, state, value));
}

int get(stmcc_t* handle, const char* state, FILE* out, FILE* err) {
    int value = 0;
    int code = stmcc_get_state(handle, state, &value);
    if (code == STMCC_OK)
        fprintf(out, "%d\n", value);
    return report(err, "get", code);
}

int list_clients(stmcc_t* handle, FILE* out, FILE* err) {
    for (int index = 0;; index++) {
        char name[256];
        int id = 0;
        uint32_t requests = 0;
        int code = stmcc_client_info(handle, index, name, &id, &requests);
        if (code == STMCC_ERR_UNKNOWN)
            return 0;
        if (code != STMCC_OK)
            return report(err, "clients", code);
        fprintf(out, "%.*s %d %lu\n", static_cast<int>(sizeof name), name, id,
                static_cast<unsigned long>(requests));
    }
}

int watch(stmcc_t* handle, long count, long seconds, FILE* out, FILE* err) {
    int code = stmcc_watch(handle);
    if (code == STMCC_OK)
        code = stmgrclient_print_notices(handle, count, seconds, out);
    return report(err, "watch", code);
}

// The bounds of watch: -n COUNT and -t SECONDS, each at most once, any order.
bool parse_watch_options(int argc, char** argv, long* count, long* seconds) {
    *count = 0;
    *seconds = 0;
    for (int i = 2; i < argc; i += 2) {
        long* bound = nullptr;
        if (strcmp(argv[i], "-n") == 0)
            bound = count;
        else if (strcmp(argv[i], "-t") == 0)
            bound = seconds;
        if (bound == nullptr || *bound != 0 || i + 1 >= argc ||
            !parse_number(argv[i + 1], 1, INT_MAX, bound))
            return false;
    }
    return true;
}

long milliseconds_since(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

// The command's arguments are checked before the state manager is asked.
bool valid_command(int argc, char** argv, long* value, long* count, long* seconds) {
    const char* command = argv[1];
    *value = 0;
    if (strcmp(command, "rise") == 0)
        return argc == 3 || (argc == 4 && parse_number(argv[3], INT_MIN, INT_MAX, value));
    if (strcmp(command, "set") == 0)
        return argc == 4 && parse_number(argv[3], INT_MIN, INT_MAX, value);
    if (strcmp(command, "get") == 0)
        return argc == 3;
    if (strcmp(command, "clients") == 0)
        return argc == 2;
    if (strcmp(command, "watch") == 0)
        return parse_watch_options(argc, argv, count, seconds);
    return false;
}

} // namespace

void stmgrclient_format_notice(const stmcc_notice_t& notice, char* line, size_t size) {
    time_t seconds = static_cast<time_t>(notice.seconds);
    tm local;
    char stamp[32] = "";
    if (localtime_r(&seconds, &local) != nullptr)
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    snprintf(line, size, "%s.%03d %s %.*s %d\n", stamp,
             static_cast<int>(notice.microseconds / 1000),
             notice.kind == STMCC_NOTICE_EVENT ? "event" : "state",
             static_cast<int>(sizeof notice.name), notice.name, notice.value);
}

int stmgrclient_print_notices(stmcc_t* handle, long count, long seconds, FILE* out) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (long printed = 0; count == 0 || printed < count; printed++) {
        int timeout_ms = -1;
        if (seconds > 0) {
            long left = seconds * 1000L - milliseconds_since(start);
            if (left <= 0)
                return STMCC_OK;
            timeout_ms = static_cast<int>(left);
        }
        stmcc_notice_t notice;
        int code = stmcc_wait_for_notice(handle, &notice, timeout_ms);
        if (code == STMCC_ERR_TIMEOUT && seconds > 0)
            return STMCC_OK;
        if (code != STMCC_OK)
            return code;
        char line[128];
        stmgrclient_format_notice(notice, line, sizeof line);
        // A reader that went away ends the watch as quietly as a bound does.
        if (fputs(line, out) < 0 || fflush(out) != 0)
            return STMCC_OK;
    }
    return STMCC_OK;
}

int stmgrclient_main(int argc, char** argv, FILE* out, FILE* err) {
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(usage_text, out);
        return 0;
    }
    long value = 0, count = 0, seconds = 0;
    if (argc < 2 || !valid_command(argc, argv, &value, &count, &seconds)) {
        fputs(usage_text, err);
        return 2;
    }
    stmcc_t* handle = open_client(err);
    if (handle == nullptr)
        return 1;
    const char* command = argv[1];
    int status;
    if (strcmp(command, "rise") == 0)
        status = rise(handle, argv[2], static_cast<int>(value), err);
    else if (strcmp(command, "set") == 0)
        status = set(handle, argv[2], static_cast<int>(value), err);
    else if (strcmp(command, "get") == 0)
        status = get(handle, argv[2], out, err);
    else if (strcmp(command, "clients") == 0)
        status = list_clients(handle, out, err);
    else
        status = watch(handle, count, seconds, out, err);
    stmcc_delete(handle);
    return status;
}
