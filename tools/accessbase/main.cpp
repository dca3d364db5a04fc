#include <csignal>
#include <cstdio>

#include "tools/accessbase/accessbase_cli.h"

int main(int argc, char** argv) {
    // A reader that went away is reported as a failed write, not a silent death.
    signal(SIGPIPE, SIG_IGN);
    return accessbase_main(argc, argv, stdout, stderr);
}
