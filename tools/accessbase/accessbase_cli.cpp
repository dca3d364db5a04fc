#include "tools/accessbase/accessbase_cli.h"

#include <getopt.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "core/gv.h"
#include "tools/accessbase/access_edit.h"
#include "tools/accessbase/access_file.h"
#include "tools/accessbase/notify.h"

namespace {

enum Status { DONE = 0, FAILED = 1, BAD_USAGE = 2 };

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
    "  export [CSV]     write the entries as CSV to a file (default: output)\n"
    "\n"
    "Options:\n"
    "  -f, --file PATH      the access base file\n"
    "  -n, --notify PID     after a change, send SIGUSR1 to the service\n"
    "  -p, --pid-file PATH  the same, with the process id read from a file\n"
    "      --force          let create empty an existing file\n"
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
    "Dates are ISO 8601 with time and an explicit zone, 2024-05-01T08:00:00Z (UTC)\n"
    "or 2024-05-01T11:00:00+03:00; they are always written back in UTC.\n"
    "\n"
    "CSV files are UTF-8, comma-separated, quoted as spreadsheets do, with the\n"
    "columns number,from,to,owner,places,max_time,text and an optional header\n"
    "line of these names. Owner and text are stored in CP1251. Refused: a pattern\n"
    "over 9 characters, owner, places and time over 31 bytes together, a text over\n"
    "63 bytes, a character CP1251 cannot hold, and ';' in owner or text (it would\n"
    "split the journals' columns). A refused change leaves the file as it was.\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed, 2 bad command line.\n";

enum LongOnly { OPT_FORCE = 256, OPT_FROM, OPT_TO, OPT_OWNER, OPT_PLACES, OPT_MAX_TIME, OPT_TEXT };

struct Settings {
    std::string file = std::string(gv_accessbasepath) + gv_accessbase;
    pid_t notify_pid = 0; // 0: no --notify
    std::string pid_file;
    bool force = false;
    bool entry_options = false;
    AccessRow row{"", "1970-01-01T00:00:00Z", "2038-01-19T03:14:07Z", "", "", "", ""};
    std::string command;
    std::vector<std::string> arguments;
};

int usage_error(FILE* err, const std::string& message) {
    fprintf(err, "accessbase: %s\nTry 'accessbase --help'.\n", message.c_str());
    return BAD_USAGE;
}

int failed(FILE* err, const std::string& message) {
    fprintf(err, "accessbase: %s\n", message.c_str());
    return FAILED;
}

// -1 on a bad command line (already reported), 1 after --help, else 0.
int read_command_line(int argc, char** argv, Settings* settings, FILE* out, FILE* err) {
    static const option options[] = {
        {"file", required_argument, nullptr, 'f'},
        {"notify", required_argument, nullptr, 'n'},
        {"pid-file", required_argument, nullptr, 'p'},
        {"help", no_argument, nullptr, 'h'},
        {"force", no_argument, nullptr, OPT_FORCE},
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
    while ((option = getopt_long(argc, argv, ":f:n:p:h", options, nullptr)) != -1) {
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
        case 'h':
            fprintf(out, USAGE, settings->file.c_str());
            return 1;
        case OPT_FORCE:
            settings->force = true;
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
    return usage_error(err, "unknown command " + settings.command);
}

int write_and_notify(const Settings& settings, const std::vector<_access_rec_t>& records,
                     FILE* err) {
    std::string error;
    if (write_access_file(settings.file, records, &error) != 0)
        return failed(err, error);
    pid_t pid = settings.notify_pid;
    if (!settings.pid_file.empty() && read_pid_file(settings.pid_file, &pid, &error) != 0)
        return failed(err, "the base was written, but " + error);
    if (pid != 0 && notify_service(pid, &error) != 0)
        return failed(err, "the base was written, but " + error);
    return DONE;
}

int load(const Settings& settings, std::vector<_access_rec_t>* records, FILE* err) {
    std::string error;
    size_t ignored = 0;
    if (read_access_file(settings.file, records, &ignored, &error) != 0)
        return failed(err, error);
    if (ignored > 0) {
        fprintf(err, "accessbase: %s ends in %zu bytes that are not a whole record\n",
                settings.file.c_str(), ignored);
    }
    return DONE;
}

int run(const Settings& settings, FILE* out, FILE* err) {
    const std::string& command = settings.command;
    const std::string argument = settings.arguments.empty() ? "" : settings.arguments[0];
    std::vector<_access_rec_t> records;
    std::string error;
    if (command == "create") {
        if (!settings.force && access(settings.file.c_str(), F_OK) == 0)
            return failed(err, settings.file + " already exists");
        return write_and_notify(settings, records, err);
    }
    if (command == "import") {
        std::string csv;
        const std::string source = argument == "-" ? "/dev/stdin" : argument;
        if (read_whole_file(source, &csv, &error) != 0 ||
            import_access_csv(csv, &records, &error) != 0)
            return failed(err, argument + ": " + error);
        return write_and_notify(settings, records, err);
    }
    if (load(settings, &records, err) != DONE)
        return FAILED;
    if (command == "list") {
        fputs(list_access_entries(records).c_str(), out);
        return DONE;
    }
    if (command == "export") {
        const std::string csv = export_access_csv(records);
        if (argument.empty() || argument == "-") {
            fputs(csv.c_str(), out);
            return DONE;
        }
        return replace_file(argument, csv, &error) == 0 ? DONE : failed(err, error);
    }
    AccessRow row = settings.row;
    row.number = argument;
    const int changed = command == "add" ? add_access_entry(&records, row, &error)
                                         : remove_access_entries(&records, argument, &error);
    if (changed != 0)
        return failed(err, error);
    return write_and_notify(settings, records, err);
}

} // namespace

int accessbase_main(int argc, char** argv, FILE* out, FILE* err) {
    Settings settings;
    const int read = read_command_line(argc, argv, &settings, out, err);
    if (read != 0)
        return read > 0 ? DONE : BAD_USAGE;
    const int checked = check_command(settings, err);
    if (checked != DONE)
        return checked;
    return run(settings, out, err);
}
