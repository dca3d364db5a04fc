#include "tools/archive-keeper/keeper_cli.h"

#include <cerrno>
#include <cstdlib>
#include <getopt.h>

#include "board/board_config.h"
#include "core/config.h"
#include "support/process_values.h"
#include "tools/archive-keeper/archive_prune.h"

namespace {

enum Status { DONE = 0, FAILED = 1, BAD_USAGE = 2 };

const char USAGE[] = "Usage: archive-keeper [OPTIONS]\n"
                     "\n"
                     "Keeps the snapshot archive of each storage that the barrier service's\n"
                     "streams.ini switches on (sections disc0, disc1, usbdisc; the folder\n"
                     "$VELM_CONF_DIR, else /etc/) within its limits: the oldest snapshots of\n"
                     "<mount point>/<device id>/jpegdata go first, until the storage has the free\n"
                     "space wanted and no snapshot is older than allowed. The journals\n"
                     "passbase.tpp and passbase.csv, the snapshot of the last passage, a snapshot\n"
                     "being written (.tmp younger than a minute) and files that are no snapshots\n"
                     "stay. One line per storage, here and in the system log: files removed,\n"
                     "bytes freed, free space after, oldest snapshot kept.\n"
                     "\n"
                     "The limits come from the section [archive] of streams.ini, keys\n"
                     "keep_free_mb, keep_free_percent and max_age_days (0 or missing: no such\n"
                     "limit); the options override them.\n"
                     "\n"
                     "Options:\n"
                     "  -m, --keep-free-mb MB         keep at least MB MiB free\n"
                     "  -p, --keep-free-percent PCT   keep at least PCT% of the storage free\n"
                     "  -a, --max-age-days DAYS       remove snapshots older than DAYS days\n"
                     "  -n, --dry-run                 remove nothing; name what would go\n"
                     "  -h, --help                    show this text\n"
                     "\n"
                     "Exit status: 0 when every storage meets its limits, 1 when one does not or\n"
                     "was skipped (missing, not writable), 2 for a wrong command line or\n"
                     "configuration.\n";

// A whole decimal number from `text` within [0, `most`]: 0, or -1.
int count_of(const char* text, long long most, long long* value) {
    char* end = nullptr;
    errno = 0;
    const long long number = strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number < 0 || number > most)
        return -1;
    *value = number;
    return 0;
}

// The limits the configuration sets; a missing key leaves its limit as it is.
int read_limits(KeeperLimits* limits, FILE* err) {
    CONFIG_HANDLE config = ConfigOpen(build_streams_ini_path(), 0);
    if (config == nullptr) {
        fprintf(err, "archive-keeper: can't open %s\n", _GLOBAL_CONF_FULLNAME_);
        return -1;
    }
    int value = 0;
    if (ConfigGetInt(config, &value, "archive", "keep_free_mb") == 0)
        limits->keep_free_mb = value;
    value = 0;
    if (ConfigGetInt(config, &value, "archive", "keep_free_percent") == 0)
        limits->keep_free_percent = value;
    value = 0;
    if (ConfigGetInt(config, &value, "archive", "max_age_days") == 0)
        limits->max_age_days = value;
    ConfigClose(config);
    return 0;
}

} // namespace

int archive_keeper_main(int argc, char** argv, FILE* out, FILE* err) {
    static const option OPTIONS[] = {{"keep-free-mb", required_argument, nullptr, 'm'},
                                     {"keep-free-percent", required_argument, nullptr, 'p'},
                                     {"max-age-days", required_argument, nullptr, 'a'},
                                     {"dry-run", no_argument, nullptr, 'n'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    long long free_mb = -1, free_percent = -1, age_days = -1;
    bool dry_run = false;
    optind = 0;
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, "m:p:a:nh", OPTIONS, nullptr)) != -1;) {
        bool valid = true;
        if (option == 'm')
            valid = count_of(optarg, INT32_MAX, &free_mb) == 0;
        else if (option == 'p')
            valid = count_of(optarg, 100, &free_percent) == 0;
        else if (option == 'a')
            valid = count_of(optarg, 1000000, &age_days) == 0;
        else if (option == 'n')
            dry_run = true;
        if (option == 'h') {
            fputs(USAGE, out);
            return DONE;
        }
        if (option == '?' || !valid) {
            fprintf(err, "archive-keeper: %s %s\nTry 'archive-keeper --help'.\n",
                    option == '?' ? "unknown option or missing value in" : "no fitting number in",
                    argv[optind - 1]);
            return BAD_USAGE;
        }
    }
    if (optind < argc) {
        fprintf(err, "archive-keeper: takes no argument: %s\nTry 'archive-keeper --help'.\n",
                argv[optind]);
        return BAD_USAGE;
    }

    KeeperLimits limits;
    if (read_limits(&limits, err) != 0)
        return BAD_USAGE;
    limits.keep_free_mb = free_mb >= 0 ? free_mb : limits.keep_free_mb;
    limits.keep_free_percent =
        free_percent >= 0 ? static_cast<int>(free_percent) : limits.keep_free_percent;
    limits.max_age_days = age_days >= 0 ? static_cast<int>(age_days) : limits.max_age_days;
    if (limits.keep_free_mb < 0 || limits.keep_free_percent < 0 || limits.keep_free_percent > 100 ||
        limits.max_age_days < 0) {
        fprintf(err,
                "archive-keeper: %s: [archive] holds a negative limit or a share above 100%%\n",
                _GLOBAL_CONF_FULLNAME_);
        return BAD_USAGE;
    }

    get_deviceid();
    get_mountpoints();
    int status = DONE;
    bool any = false;
    for (const char* mountpoint : gv_mountpoints) {
        if (mountpoint[0] == '\0')
            continue;
        any = true;
        if (keep_storage(mountpoint, limits, dry_run, out) != LIMITS_MET)
            status = FAILED;
    }
    if (!any)
        fprintf(out, "archive-keeper: %s switches no storage on\n", _GLOBAL_CONF_FULLNAME_);
    return status;
}
