#include "tools/journal-reader/reader_cli.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <getopt.h>
#include <string>
#include <vector>

#include "support/process_values.h"
#include "tools/accessbase/tool_files.h"
#include "tools/journal-reader/journal_files.h"
#include "tools/journal-reader/journal_show.h"
#include "tools/journal-reader/report_cli.h"

namespace {

enum Status { DONE = 0, FAILED = 1, BAD_USAGE = 2 };

const char USAGE[] =
    "Usage: journal-reader [OPTIONS] FILE\n"
    "       journal-reader --check [--kind KIND] FILE...\n"
    "       journal-reader --report PAGE --pass FILE [--archive FOLDER]... [--occupancy FILE]\n"
    "                      [--number NUMBER] [--from TIME] [--to TIME]\n"
    "\n"
    "Shows a journal of the barrier service as a table in UTF-8 or as CSV:\n"
    "  netnumbase.tpn    occupancy: who is inside now and since when, the places\n"
    "                    each owner holds, and every car's record\n"
    "  netpassbase.tpn   pass journal: every decision, admitted or refused\n"
    "  netpassbase.csv   the same as text lines\n"
    "  passbase.tpp      a storage's archive of passages, with the snapshots' names\n"
    "  passbase.csv      the same as text lines\n"
    "The first three lie in the net-base directory (default %s), the\n"
    "archive in <storage mount point>/<device id>/. The kind is told by the file\n"
    "name, also of copies such as netpassbase-2009.tpn, or given with --kind.\n"
    "\n"
    "Options:\n"
    "  -k, --kind KIND      occupancy, pass, pass-csv, archive or archive-csv\n"
    "  -c, --csv            CSV (UTF-8, comma-separated, quoted where needed, with a\n"
    "                       header line) instead of a table\n"
    "  -v, --view VIEW      occupancy only: inside, owners or records (default: all\n"
    "                       three as tables; records as CSV)\n"
    "  -n, --number NUMBER  only this car number; ? stands for any one character,\n"
    "                       letters match in either case\n"
    "  -f, --from TIME      only passages at or after TIME (occupancy: cars that\n"
    "                       entered or left from then on)\n"
    "  -t, --to TIME        only passages at or before TIME\n"
    "      --check          show nothing; exit 0 when every FILE is whole: records\n"
    "                       whole and sound, every line ended and with its columns\n"
    "  -h, --help           show this text\n"
    "\n"
    "Passage report, a web page that needs no server and nothing from elsewhere:\n"
    "  -r, --report PAGE    write the report as PAGE (HTML; - for the output): the\n"
    "                       damaged records skipped, the passages per day, the\n"
    "                       cars inside now, and every passage with its local time,\n"
    "                       board, number, decision, message, owner summary and a\n"
    "                       thumbnail of its snapshot, filtered in the browser by\n"
    "                       number, day and decision\n"
    "  -p, --pass FILE      the pass journal netpassbase.tpn (or netpassbase.csv)\n"
    "  -a, --archive FOLDER a board's archive, <storage mount point>/<device id>, for\n"
    "                       the owner summaries and snapshots of its passages; once\n"
    "                       for each board\n"
    "  -o, --occupancy FILE the occupancy journal netnumbase.tpn, for who is inside\n"
    "The passages are chosen with --number, --from and --to as above. The snapshots\n"
    "are linked, not copied: keep the page where it reaches the archive folders.\n"
    "PAGE#number=A12&day=2009-03-14&decision=refused opens it filtered.\n"
    "\n"
    "TIME is seconds since the epoch, ISO 8601 with a zone (2009-03-14T08:05:09+02:00,\n"
    "2009-03-14T06:05:09Z) or local time without one (2009-03-14 08:05:09, or a date\n"
    "alone: its whole day). Times are shown in local time with the zone (TZ). The\n"
    "text lines keep the board's local time without a zone and are read in this\n"
    "zone.\n"
    "\n"
    "A torn end, a record that is not the service's, or a broken line is reported\n"
    "with its offset and skipped; every sound row around it is still shown, and\n"
    "the damaged records are counted. Lines are at most 4096 bytes. FILE must be a\n"
    "regular file; PAGE too, if it exists, and none of the files read.\n"
    "\n"
    "Exit status: 0 done, 1 a file unreadable or not whole, or the output not\n"
    "written, 2 bad command line.\n";

struct Settings {
    ShowOptions show;
    bool kind_given = false;
    bool view_given = false;
    bool filtered = false;
    bool check = false;
    std::vector<std::string> files;
    ReportRequest report; // its filter is show.filter
    bool report_source_given = false;
};

int usage_error(FILE* err, const std::string& message) {
    fprintf(err, "journal-reader: %s\nTry 'journal-reader --help'.\n", message.c_str());
    return BAD_USAGE;
}

int read_view(const char* name, OccupancyView* view) {
    const struct {
        const char* name;
        OccupancyView view;
    } views[] = {{"inside", OccupancyView::INSIDE},
                 {"owners", OccupancyView::OWNERS},
                 {"records", OccupancyView::RECORDS}};
    for (const auto& known : views) {
        if (strcmp(name, known.name) == 0) {
            *view = known.view;
            return 0;
        }
    }
    return -1;
}

// -1 after a bad command line (already reported), 1 after --help, else 0.
int read_command_line(int argc, char** argv, Settings* settings, FILE* out, FILE* err) {
    enum { OPT_CHECK = 256 };
    static const option options[] = {
        {"kind", required_argument, nullptr, 'k'},
        {"csv", no_argument, nullptr, 'c'},
        {"view", required_argument, nullptr, 'v'},
        {"number", required_argument, nullptr, 'n'},
        {"from", required_argument, nullptr, 'f'},
        {"to", required_argument, nullptr, 't'},
        {"check", no_argument, nullptr, OPT_CHECK},
        {"report", required_argument, nullptr, 'r'},
        {"pass", required_argument, nullptr, 'p'},
        {"archive", required_argument, nullptr, 'a'},
        {"occupancy", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    ShowOptions& show = settings->show;
    optind = 0; // start afresh on every call
    opterr = 0;
    const auto bad = [err](const std::string& message) {
        usage_error(err, message);
        return -1;
    };
    int option;
    std::string error;
    while ((option = getopt_long(argc, argv, ":k:cv:n:f:t:r:p:a:o:h", options, nullptr)) != -1) {
        switch (option) {
        case 'k':
            if (kind_from_option(optarg, &show.kind) != 0)
                return bad(std::string("unknown kind ") + optarg);
            settings->kind_given = true;
            break;
        case 'c':
            show.csv = true;
            break;
        case 'v':
            if (read_view(optarg, &show.view) != 0)
                return bad(std::string("unknown view ") + optarg);
            settings->view_given = true;
            break;
        case 'n':
            show.filter.number = optarg;
            settings->filtered = true;
            break;
        case 'f':
        case 't':
            if (parse_time_option(optarg, option == 't',
                                  option == 'f' ? &show.filter.from : &show.filter.to, &error) != 0)
                return bad(error);
            settings->filtered = true;
            break;
        case OPT_CHECK:
            settings->check = true;
            break;
        case 'r':
            settings->report.output = optarg;
            break;
        case 'p':
            settings->report.pass = optarg;
            settings->report_source_given = true;
            break;
        case 'a':
            settings->report.archives.push_back(optarg);
            settings->report_source_given = true;
            break;
        case 'o':
            settings->report.occupancy = optarg;
            settings->report_source_given = true;
            break;
        case 'h':
            fprintf(out, USAGE, gv_netmountpoint);
            return 1;
        case ':':
            return bad(std::string(argv[optind - 1]) + " needs a value");
        default:
            return bad(std::string("unknown option ") + argv[optind - 1]);
        }
    }
    for (; optind < argc; ++optind)
        settings->files.push_back(argv[optind]);
    return 0;
}

int check_report_settings(const Settings& settings, FILE* err) {
    if (!settings.files.empty())
        return usage_error(err, "--report reads --pass, --archive and --occupancy, no FILE");
    if (settings.check || settings.kind_given || settings.view_given || settings.show.csv)
        return usage_error(err, "--report takes no --check, --kind, --view or --csv");
    if (settings.report.pass.empty())
        return usage_error(err, "--report needs the pass journal (--pass)");
    return DONE;
}

int check_settings(const Settings& settings, FILE* err) {
    if (settings.show.filter.from > settings.show.filter.to)
        return usage_error(err, "--from is later than --to");
    if (!settings.report.output.empty())
        return check_report_settings(settings, err);
    if (settings.report_source_given)
        return usage_error(err, "--pass, --archive and --occupancy are for --report");
    if (settings.files.empty())
        return usage_error(err, "no FILE given");
    if (settings.check && (settings.filtered || settings.view_given || settings.show.csv))
        return usage_error(err, "--check shows nothing: it takes no filter, view or --csv");
    if (!settings.check && settings.files.size() > 1)
        return usage_error(err, "one FILE at a time (several only with --check)");
    return DONE;
}

// Shows (or with `check`, only reads) one file; reports its faults.
int read_file(const std::string& path, const Settings& settings, FILE* out, FILE* err) {
    ShowOptions show = settings.show;
    if (!settings.kind_given && kind_from_name(path, &show.kind) != 0) {
        fprintf(err, "journal-reader: %s: can't tell the journal from the name; give --kind\n",
                path.c_str());
        return FAILED;
    }
    if (settings.view_given && show.kind != JournalKind::OCCUPANCY)
        return usage_error(err, "--view is for the occupancy journal only");
    std::string why;
    FILE* file = open_input(path, &why);
    if (file == nullptr) {
        fprintf(err, "journal-reader: can't open %s: %s\n", path.c_str(), why.c_str());
        return FAILED;
    }
    JournalFaults faults;
    int error = 0;
    int shown;
    const std::string deviceid =
        show.kind == JournalKind::ARCHIVE_RECORDS ? archive_deviceid(path) : "";
    if (settings.check) {
        const RowHandlers ignore{[](const OccupancyRow&) { return true; },
                                 [](const PassRow&) { return true; },
                                 [](const ArchiveRow&) { return true; }};
        shown = read_journal(file, show.kind, deviceid, ignore, &faults) == READ_FAILED
                    ? SHOW_READ_FAILED
                    : SHOW_DONE;
        error = errno;
    } else {
        shown = show_journal(file, deviceid, show, out, &faults, &error);
    }
    fclose(file);
    tell_faults(err, path, faults);
    if (shown == SHOW_READ_FAILED) {
        fprintf(err, "journal-reader: can't read %s: %s\n", path.c_str(), strerror(error));
        return FAILED;
    }
    if (shown == SHOW_WRITE_FAILED) {
        fprintf(err, "journal-reader: can't write the output: %s\n", strerror(error));
        return FAILED;
    }
    return faults.count == 0 ? DONE : FAILED;
}

// What was written must also have reached the output, or the run failed.
int flushed(FILE* out, FILE* err, int status) {
    if (fflush(out) != 0 || ferror(out)) {
        fprintf(err, "journal-reader: can't write the output: %s\n", strerror(errno));
        return FAILED;
    }
    return status;
}

} // namespace

int journal_reader_main(int argc, char** argv, FILE* out, FILE* err) {
    tzset(); // the zone of this run, also when a caller changed TZ before
    Settings settings;
    const int read = read_command_line(argc, argv, &settings, out, err);
    if (read != 0)
        return read > 0 ? flushed(out, err, DONE) : BAD_USAGE;
    const int checked = check_settings(settings, err);
    if (checked != DONE)
        return checked;
    if (!settings.report.output.empty()) {
        settings.report.filter = settings.show.filter;
        return flushed(out, err, make_report(settings.report, out, err));
    }
    int status = DONE;
    for (const std::string& path : settings.files) {
        const int file_status = read_file(path, settings, out, err);
        if (file_status == BAD_USAGE || ferror(out))
            return file_status;
        status = std::max(status, file_status);
    }
    return flushed(out, err, status);
}
