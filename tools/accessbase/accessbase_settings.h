// What the access-base editor's command line asks for.
#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

#include "support/process_values.h"
#include "tools/accessbase/access_entry.h"

// Exit status: 0 done, 1 refused or failed, 2 bad command line.
enum AccessbaseStatus { DONE = 0, FAILED = 1, BAD_USAGE = 2 };

struct Settings {
    std::string file = std::string(gv_accessbasepath) + gv_accessbase;
    pid_t notify_pid = 0; // 0: no --notify
    std::string pid_file;
    int wait_seconds = 10; // for another editor of the same base
    bool force = false;
    bool allow_empty = false;
    bool replace = false;
    bool entry_options = false;
    AccessRow row{"", "1970-01-01T00:00:00Z", "2038-01-19T03:14:07Z", "", "", "", ""};
    std::string command;
    std::vector<std::string> arguments;
};

// Runs the checked command; an exit status.
int run_command(const Settings& settings, FILE* out, FILE* err);

// Reports a refusal or failure; FAILED.
int failed(FILE* err, const std::string& message);
