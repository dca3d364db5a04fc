#include <csignal>
#include <cstdio>

#include "tools/shmgr-dump/shmgr_dump.h"

namespace {

void interrupt(int) {
    dump_interrupted = 1;
}

} // namespace

int main(int argc, char** argv) {
    struct sigaction action = {};
    action.sa_handler = interrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that went away is reported as a failed write, not a silent death.
    signal(SIGPIPE, SIG_IGN);
    return shmgr_dump_main(argc, argv, stdout, stderr);
}
