#include <cerrno>
#include <cstdio>
#include <cstring>
#include <syslog.h>

#include "tools/archive-keeper/keeper_cli.h"

int main(int argc, char** argv) {
    // The service's own system-log settings, under the program's name.
    openlog(argv[0], LOG_PID | LOG_NDELAY | LOG_NOWAIT, LOG_USER);
    int status = archive_keeper_main(argc, argv, stdout, stderr);
    if (fclose(stdout) != 0 && status == 0) {
        fprintf(stderr, "archive-keeper: can't write the output: %s\n", strerror(errno));
        status = 1;
    }
    return status;
}
