#include "platform/statemgr/stmgrclient_cmd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "platform/statemgr/stm_protocol.h"

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
    "Exit status: 0 done, 1 refused by or no state manager, or the output not\n"
    "written, 2 bad command line.\n";

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

// A full disk or a reader that went away: an error, never a silent 0.
int output_failed(FILE* err) {
    fprintf(err, "stmgrclient: cannot write the output: %s\n", strerror(errno));
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
    if (code == STMCC_OK && fprintf(out, "%d\n", value) < 0)
        return output_failed(err);
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
        if (fprintf(out, "%.*s %d %lu\n", static_cast<int>(sizeof name), name, id,
                    static_cast<unsigned long>(requests)) < 0)
            return output_failed(err);
    }
}

int watch(stmcc_t* handle, long count, long seconds, FILE* out, FILE* err) {
    int code = stmcc_watch(handle);
    if (code == STMCC_OK)
        code = stmgrclient_print_notices(handle, count, seconds, out);
    return code < 0 ? output_failed(err) : report(err, "watch", code);
}

// What is wrong with a VALUE, COUNT or SECONDS; empty when it is good.
std::string check_number(const char* what, const char* text, long min, long max, long* number) {
    if (parse_number(text, min, max, number))
        return "";
    return std::string(what) + " '" + text + "' is not a whole number from " + std::to_string(min) +
           " to " + std::to_string(max);
}

std::string check_name(const char* name) {
    if (stm_valid_item_name(name))
        return "";
    return std::string("'") + name + "': " + stmc_get_result_str(STMCC_ERR_NAME);
}

// The bounds of watch: -n COUNT and -t SECONDS, each at most once, any order.
std::string check_watch_options(int argc, char** argv, long* count, long* seconds) {
    *count = 0;
    *seconds = 0;
    for (int i = 2; i < argc; i += 2) {
        const bool is_count = strcmp(argv[i], "-n") == 0;
        if (!is_count && strcmp(argv[i], "-t") != 0)
            return std::string("watch: unknown option '") + argv[i] + "'";
        long* bound = is_count ? count : seconds;
        const char* what = is_count ? "COUNT" : "SECONDS";
        if (*bound != 0)
            return std::string("watch: ") + argv[i] + " given twice";
        if (i + 1 >= argc)
            return std::string("watch: ") + argv[i] + " needs " + what;
        const std::string wrong = check_number(what, argv[i + 1], 1, INT_MAX, bound);
        if (!wrong.empty())
            return "watch: " + wrong;
    }
    return "";
}

int64_t milliseconds_since(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec - start.tv_sec) * 1000 +
           (now.tv_nsec - start.tv_nsec) / 1000000;
}

// The command's arguments are checked before the state manager is asked;
// what is wrong with them, or empty.
std::string check_command(int argc, char** argv, long* value, long* count, long* seconds) {
    if (argc < 2)
        return "no command given";
    const std::string command = argv[1];
    *value = 0;
    // Arguments after the command: at least, at most.
    struct Shape {
        const char* name;
        int least;
        int most;
        const char* takes;
    };
    static const Shape shapes[] = {{"rise", 1, 2, "an EVENT and at most a VALUE"},
                                   {"set", 2, 2, "a STATE and a VALUE"},
                                   {"get", 1, 1, "one STATE"},
                                   {"clients", 0, 0, "no arguments"}};
    if (command == "watch")
        return check_watch_options(argc, argv, count, seconds);
    for (const Shape& shape : shapes) {
        if (command != shape.name)
            continue;
        if (argc - 2 < shape.least || argc - 2 > shape.most)
            return command + " takes " + shape.takes;
        std::string wrong = argc > 2 ? check_name(argv[2]) : "";
        if (wrong.empty() && argc > 3)
            wrong = check_number("VALUE", argv[3], INT_MIN, INT_MAX, value);
        return wrong.empty() ? "" : command + ": " + wrong;
    }
    return "unknown command '" + command + "'";
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
            // 64 bits: a long of 32 bits holds no more than 24 days of milliseconds.
            const int64_t left = static_cast<int64_t>(seconds) * 1000 - milliseconds_since(start);
            if (left <= 0)
                return STMCC_OK;
            timeout_ms = left < INT_MAX ? static_cast<int>(left) : INT_MAX;
        }
        stmcc_notice_t notice;
        int code = stmcc_wait_for_notice(handle, &notice, timeout_ms);
        if (code == STMCC_ERR_TIMEOUT && seconds > 0)
            return STMCC_OK;
        if (code != STMCC_OK)
            return code;
        char line[128];
        stmgrclient_format_notice(notice, line, sizeof line);
        if (fputs(line, out) < 0 || fflush(out) != 0)
            return -1;
    }
    return STMCC_OK;
}

int stmgrclient_main(int argc, char** argv, FILE* out, FILE* err) {
    if (argc == 2 && strcmp(argv[1], "--help") == 0)
        return fputs(usage_text, out) < 0 || fflush(out) != 0 ? output_failed(err) : 0;
    long value = 0, count = 0, seconds = 0;
    const std::string wrong = check_command(argc, argv, &value, &count, &seconds);
    if (!wrong.empty()) {
        fprintf(err, "stmgrclient: %s\n%s", wrong.c_str(), usage_text);
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
    if (status == 0 && (fflush(out) != 0 || ferror(out) != 0))
        return output_failed(err);
    return status;
}
