// Telling the running service to reload its access base (SIGUSR1).
#pragma once

#include <string>
#include <sys/types.h>

// A process id as written on a command line or in a pid file (surrounding
// blanks and a line end allowed). Ids 0, 1 and negative ones are refused:
// kill() would take them for a process group, every process, or init.
int parse_pid(const std::string& text, pid_t* pid, std::string* error);

int read_pid_file(const std::string& path, pid_t* pid, std::string* error);

// Sends the signal when the process runs the service's program ("dravel").
// 0, or -1 with `error` set when it does not or the signal cannot be sent.
int notify_service(pid_t pid, std::string* error);
