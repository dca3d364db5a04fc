// stmgrclient: raises events, sets, reads and watches states of the state
// manager from the command line.
#include <csignal>
#include <cstdio>

#include "platform/statemgr/stmgrclient_cmd.h"

int main(int argc, char** argv) {
    // A watch piped into a reader that quits ends with an error, not a signal.
    signal(SIGPIPE, SIG_IGN);
    return stmgrclient_main(argc, argv, stdout, stderr);
}
