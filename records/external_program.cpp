#include "records/external_program.h"

#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

#include "core/gv.h"

int start_external_program(const char* line) {
    if (gv.external_program[0] == '\0')
        return -1;
    // The line is the interpreter's positional parameter "$1", so quotes,
    // "$", backquotes or ";" inside it reach the program as plain bytes.
    char script[sizeof gv.external_program + sizeof " \"$1\" &"];
    snprintf(script, sizeof script, "%.*s \"$1\" &", static_cast<int>(sizeof gv.external_program),
             gv.external_program);
    const pid_t shell = fork();
    if (shell < 0)
        return -1;
    if (shell == 0) {
        execl("/bin/sh", "sh", "-c", script, "sh", line, static_cast<char*>(nullptr));
        _exit(127);
    }
    // The interpreter returns at once because of "&". The service's SIGCHLD
    // handler may reap it first; waitpid then fails with ECHILD, which is
    // just as good.
    int status;
    while (waitpid(shell, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}
