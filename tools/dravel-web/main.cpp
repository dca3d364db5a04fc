#include <cstdlib>
#include <ctime>
#include <syslog.h>

#include "tools/dravel-web/web_serve.h"

int main() {
    openlog("dravel-web", LOG_PID | LOG_NDELAY | LOG_NOWAIT, LOG_USER);
    const int status = serve_request(getenv, stdin, time(nullptr), stdout);
    closelog();
    return status;
}
