#include "tools/accessbase/accessbase_cli.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

#include "tools/accessbase/accessbase_settings.h"
#include "tools/accessbase/notify.h"
#include "tools/cp1251_text/shown_text.h"

namespace {

const char USAGE[] =
    "Usage: accessbase [OPTIONS] COMMAND [ARGUMENT]\n"
    "\n"
    "Edits the access base of the barrier service, a file of 116-byte records\n"
    "(default %s). The service uses the first entry whose\n"
    "number pattern matches a car's number; entries keep their order.\n"
    "\n"
    "Commands:\n"
    "  create           make an empty access base (refused when the file exists)\n"
    "  list             show the entries in file order\n"
    "  add PATTERN      append an entry; PATTERN has letters, digits and ?\n"
    "                   (any one character; at the end also none)\n"
    "  remove PATTERN   remove the entries with exactly this pattern\n"
    "  import CSV       replace all entries with those of a CSV file (- for input)\n"
    "  export [CSV]     write the entries as CSV to a regular file, never the base\n"
    "                   (- or none: output)\n"
    "\n"
    "Options:\n"
    "  -f, --file PATH      the access base file; a link is followed and the file\n"
    "                       it points at is replaced\n"
    "  -n, --notify PID     after a change, send SIGUSR1 to the service; refused\n"
    "                       when the process does not run the program dravel\n"
    "  -p, --pid-file PATH  the same, with the process id read from a file\n"
    "  -w, --wait SECONDS   wait this long for another editor of the base to\n"
    "                       finish (default 10)\n"
    "      --allow-empty    let import leave the base without entries\n"
    "      --replace        let import drop more than half of the entries\n"
    "      --force          let create empty an existing file, and edit a base\n"
    "                       that is read-only or not a whole number of records\n"
    "  -h, --help           show this text\n"
    "\n"
    "Entry options (add):\n"
    "      --from DATE      start of the period (default 1970-01-01T00:00:00Z)\n"
    "      --to DATE        end of the period, inclusive (default 2038-01-19T03:14:07Z)\n"
    "      --owner NAME     owner whose cars share the places and time limits\n"
    "      --places N       places of the owner (0 or absent: no limit)\n"
    "      --max-time H:MM  maximum parking time (absent or 0:00: no limit)\n"
    "      --text TEXT      display text; a } marks where the decision message goes\n"
    "\n"
    "The period does not limit access: a listed car is admitted before and after\n"
    "it too. Only within the period are its owner's places and its parking time\n"
    "counted and limited. Places are counted per owner: without an owner they are\n"
    "never counted.\n"
    "\n"
    "Dates are ISO 8601 with time and an explicit zone, 2024-05-01T08:00:00Z (UTC)\n"
    "or 2024-05-01T11:00:00+03:00; they are always written back in UTC.\n"
    "\n"
    "Patterns are stored in Latin capitals, as the service reads plates: small\n"
    "letters, and Cyrillic letters with a Latin twin (А В Е К М Н О Р С Т У Х),\n"
    "are folded to them, and each fold is reported. A pattern that an earlier\n"
    "wildcard pattern always matches first is reported as never used.\n"
    "\n"
    "CSV files are UTF-8, comma-separated, quoted as spreadsheets do, with the\n"
    "columns number,from,to,owner,places,max_time,text and an optional header\n"
    "line of these names. Owner and text are stored in CP1251. Refused: a pattern\n"
    "over 9 characters, owner, places and time over 31 bytes together, a text over\n"
    "63 bytes, a character CP1251 cannot hold or a control character, and ';' in\n"
    "owner or text (it would split the journals' columns). A refused change leaves\n"
    "the file as it was.\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed, 2 bad command line.\n";

enum LongOnly {
    OPT_FORCE = 256,
    OPT_ALLOW_EMPTY,
    OPT_REPLACE,
    OPT_FROM,
    OPT_TO,
    OPT_OWNER,
    OPT_PLACES,
    OPT_MAX_TIME,
    OPT_TEXT
};

int usage_error(FILE* err, const std::string& message) {
    fprintf(err, "accessbase: %s\nTry 'accessbase --help'.\n", message.c_str());
    return BAD_USAGE;
}

// Seconds to wait for another editor: a whole number up to a day.
bool parse_seconds(const char* text, int* seconds) {
    char* end = nullptr;
    errno = 0;
    const long value = strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 86400)
        return false;
    *seconds = static_cast<int>(value);
    return true;
}

// -1 on a bad command line (already reported), 1 after --help, -2 when the
// help could not be written, else 0.
int read_command_line(int argc, char** argv, Settings* settings, FILE* out, FILE* err) {
    static const option options[] = {
        {"file", required_argument, nullptr, 'f'},
        {"notify", required_argument, nullptr, 'n'},
        {"pid-file", required_argument, nullptr, 'p'},
        {"wait", required_argument, nullptr, 'w'},
        {"help", no_argument, nullptr, 'h'},
        {"force", no_argument, nullptr, OPT_FORCE},
        {"allow-empty", no_argument, nullptr, OPT_ALLOW_EMPTY},
        {"replace", no_argument, nullptr, OPT_REPLACE},
        {"from", required_argument, nullptr, OPT_FROM},
        {"to", required_argument, nullptr, OPT_TO},
        {"owner", required_argument, nullptr, OPT_OWNER},
        {"places", required_argument, nullptr, OPT_PLACES},
        {"max-time", required_argument, nullptr, OPT_MAX_TIME},
        {"text", required_argument, nullptr, OPT_TEXT},
        {nullptr, 0, nullptr, 0},
    };
    std::string* entry_fields[] = {&settings->row.from,     &settings->row.to,
                                   &settings->row.owner,    &settings->row.places,
                                   &settings->row.max_time, &settings->row.text};
    optind = 0; // start afresh on every call
    opterr = 0;
    int option;
    while ((option = getopt_long(argc, argv, ":f:n:p:w:h", options, nullptr)) != -1) {
        switch (option) {
        case 'f':
            settings->file = optarg;
            break;
        case 'n': {
            std::string error;
            if (parse_pid(optarg, &settings->notify_pid, &error) != 0) {
                usage_error(err, error);
                return -1;
            }
            break;
        }
        case 'p':
            settings->pid_file = optarg;
            break;
        case 'w':
            if (!parse_seconds(optarg, &settings->wait_seconds)) {
                usage_error(err, "--wait needs whole seconds from 0 to 86400, not " +
                                     quoted_excerpt(optarg));
                return -1;
            }
            break;
        case 'h':
            fprintf(out, USAGE, settings->file.c_str());
            return fflush(out) == 0 && ferror(out) == 0 ? 1 : -2;
        case OPT_FORCE:
            settings->force = true;
            break;
        case OPT_ALLOW_EMPTY:
            settings->allow_empty = true;
            break;
        case OPT_REPLACE:
            settings->replace = true;
            break;
        case ':':
            usage_error(err, std::string(argv[optind - 1]) + " needs a value");
            return -1;
        case '?':
            usage_error(err, std::string("unknown option ") + argv[optind - 1]);
            return -1;
        default:
            *entry_fields[option - OPT_FROM] = optarg;
            settings->entry_options = true;
            break;
        }
    }
    if (optind < argc)
        settings->command = argv[optind++];
    for (; optind < argc; ++optind)
        settings->arguments.push_back(argv[optind]);
    return 0;
}

int check_command(const Settings& settings, FILE* err) {
    struct Shape {
        const char* name;
        size_t least;
        size_t most;
    };
    static const Shape shapes[] = {{"create", 0, 0}, {"list", 0, 0},   {"add", 1, 1},
                                   {"remove", 1, 1}, {"import", 1, 1}, {"export", 0, 1}};
    if (settings.command.empty())
        return usage_error(err, "no command given");
    if (settings.entry_options && settings.command != "add")
        return usage_error(err, "entry options belong to the add command");
    if (settings.notify_pid != 0 && !settings.pid_file.empty())
        return usage_error(err, "give either --notify or --pid-file, not both");
    for (const Shape& shape : shapes) {
        if (settings.command != shape.name)
            continue;
        const size_t count = settings.arguments.size();
        if (count < shape.least || count > shape.most)
            return usage_error(err, "wrong number of arguments for " + settings.command);
        return DONE;
    }
    return usage_error(err, "unknown command " + quoted_excerpt(settings.command));
}

} // namespace

int accessbase_main(int argc, char** argv, FILE* out, FILE* err) {
    Settings settings;
    const int read = read_command_line(argc, argv, &settings, out, err);
    if (read == -2)
        return failed(err, std::string("cannot write the help: ") + strerror(errno));
    if (read != 0)
        return read > 0 ? DONE : BAD_USAGE;
    const int checked = check_command(settings, err);
    if (checked != DONE)
        return checked;
    return run_command(settings, out, err);
}
