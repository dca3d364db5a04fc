// dravel: the licence-plate service of a car-park barrier. Started with no
// arguments it detaches into the background; "-f" keeps it in the
// foreground with its standard output, for supervisors and tests; "--help"
// and "--version" only answer.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <syslog.h>
#include <unistd.h>

#include "access/access_base.h"
#include "board/lpr.h"
#include "core/config.h"
#include "core/dravelber.h"
#include "core/signals.h"
#include "links/shmgr_link.h"
#include "links/statemgr_link.h"
#include "records/external_program.h"
#include "records/snapshot_archive.h"
#include "support/gv.h"
#include "support/journal_file.h"
#include "support/log.h"
#include "support/process_values.h"
#include "support/signal_log.h"
#include "video/capture.h"

namespace {

const char usage[] = "Usage: dravel [-f | --help | --version]\n";

enum Start { start_detached, start_in_foreground, start_nothing };

// --help and --version answer and end; an argument the service does not
// know ends it with status 2 before anything is opened, so a typing error
// in a unit file or init script shows at once instead of running a service
// that was meant otherwise.
Start read_arguments(int argc, char** argv, int* status) {
    Start start = start_detached;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-f") == 0) {
            start = start_in_foreground;
        } else if (strcmp(argv[i], "--help") == 0) {
            printf("%s"
                   "The licence-plate service of a car-park barrier. Without arguments it\n"
                   "detaches into the background; its messages go to the system log.\n"
                   "  -f         stay in the foreground, for supervisors and tests\n"
                   "  --help     show this help and exit\n"
                   "  --version  show the version and exit\n"
                   "Settings: streams.ini and TZ in $VELM_CONF_DIR (default /etc/).\n",
                   usage);
            *status = 0;
            return start_nothing;
        } else if (strcmp(argv[i], "--version") == 0) {
            printf("dravel %s\n", DRAVEL_VERSION);
            *status = 0;
            return start_nothing;
        } else {
            fprintf(stderr, "dravel: unknown argument \"%s\"\n%s", argv[i], usage);
            *status = 2;
            return start_nothing;
        }
    }
    return start;
}

// Real-time scheduling: SCHED_FIFO at static priority 10. The call's result;
// a failure is logged and the service runs on without it.
int ChangePriority() {
    struct sched_param param = {};
    param.sched_priority = 10;
    const int result = sched_setscheduler(0, SCHED_FIFO, &param);
    if (result != 0)
        LOG_ERRNO("sched_setscheduler() failed with ");
    return result;
}

// DAEMONIZE's failures, with errno, under its name.
int log_failure(const char* what) {
    const int error = errno;
    log_line("DAEMONIZE", "%s [%d] %s", what, error, strerror(error));
    return -1;
}

// Detaches from the terminal: forks, the parent ends at once with the
// child's process id as its exit status (init scripts have always read the
// low byte of it), the child starts a session of its own and puts
// /dev/null on descriptors 0-2. Returns in the child, or in the only
// process when the fork failed: 0, or -1 after a logged failure.
int DAEMONIZE() {
    const pid_t child = fork();
    if (child == -1)
        return log_failure("Demonization failed");
    if (child > 0)
        _exit(child);
    if (setsid() == -1)
        return log_failure("setsid() failed");
    const int null = open("/dev/null", O_RDWR);
    if (null == -1)
        return log_failure("open (/dev/null) failed");
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (null > 2)
        close(null);
    return 0;
}

// Sets TZ from the first line of the file "TZ" in the configuration folder,
// without its line end, and makes the time conversions use it. Without the
// file nothing is set.
void set_time_zone() {
    FILE* file = fopen(build_conf_path("TZ"), "r");
    if (file == nullptr)
        return;
    char zone[100] = {};
    if (fgets(zone, sizeof zone, file) == nullptr)
        zone[0] = '\0';
    fclose(file);
    // A line end would become part of the zone's name, and the C library
    // then falls back to UTC without a word.
    zone[strcspn(zone, "\r\n")] = '\0';
    snprintf(gv.tz_env, sizeof gv.tz_env, "TZ=%s", zone);
    putenv(gv.tz_env);
    // The log's time stamps have already read the zone once; some C
    // libraries keep that for the local-time conversions unless told again.
    tzset();
}

// Start-up cannot go on. What earlier steps opened is left to the exit.
int give_up(const char* reason) {
    write_signal_lines();
    log_line("main", "%s", reason);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    const Start start = read_arguments(argc, argv, &status);
    if (start == start_nothing)
        return status;
    memset(&gv, 0, sizeof gv);
    set_recognizer_defaults();
    openlog(argv[0], LOG_PID | LOG_NDELAY | LOG_NOWAIT, LOG_USER);
    open_signal_log(argv[0], _PATH_LOG);
    LOG("Start.\n");
    ChangePriority();
    InstallParachute();
    signal(SIGUSR1, Usr1Handler);
    // A journal lock that another board keeps must not outlive a SIGTERM.
    journal_lock_wait_ends([] { return stop != 0; });

    if (video_init_input() != 0)
        return give_up("Unable open video grabber");
    if (connect_shmgr() != 0)
        return give_up("Can't connect to shmgr");
    if (statemgr_connect(argv[0]) != 0)
        return give_up("Can't connect to statemgr");

    read_startup_settings();
    load_config();
    char accessbase[4096];
    build_accessbase_path(accessbase, sizeof accessbase);
    load_access_base(accessbase);

    // Held for the life of the process and never destroyed: the engine has
    // no destructor of its own to call.
    static Brisvale::LPR* engine = Brisvale::LPR::createInstance();
    if (engine == nullptr)
        return give_up("Unable create the recognizer");
    engine->setParameters(&gv.recognizer_params);

    if (setpriority(PRIO_PROCESS, 0, 10) != 0)
        LOG("unable set priority\n");
    get_deviceid();
    check_archive_settings();
    signal(SIGCHLD, sigchldhandler);
    set_time_zone();
    if (start == start_detached)
        DAEMONIZE();

    dravelber(engine);

    statemgr_disconnect();
    disconnect_shmgr();
    video_close_input();
    RemoveParachute();
    close_signal_log();
    free_access_base();
    write_signal_lines();
    LOG("Exit.\n");
    closelog();
    return signal_report_failed() ? 1 : 0;
}
