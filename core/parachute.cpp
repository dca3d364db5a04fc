#include <csignal>

#include "core/signals.h"
#include "support/log.h"

const int fatal_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT, SIGKILL, SIGINT, SIGTERM, 0};

void InstallParachute() {
    for (const int* sig = fatal_signals; *sig != 0; ++sig) {
        struct sigaction action;
        if (sigaction(*sig, nullptr, &action) != 0)
            continue;
        if (action.sa_handler != SIG_DFL) {
            LOG("Ignore signal %d\n", *sig);
            continue;
        }
        // Mask and flags stay as they were; SIGKILL refuses, unreported.
        action.sa_handler = Parachute;
        sigaction(*sig, &action, nullptr);
    }
}

void RemoveParachute() {
    for (const int* sig = fatal_signals; *sig != 0; ++sig) {
        struct sigaction action;
        if (sigaction(*sig, nullptr, &action) != 0 || action.sa_handler != Parachute)
            continue;
        action.sa_handler = SIG_DFL;
        sigaction(*sig, &action, nullptr);
    }
}
