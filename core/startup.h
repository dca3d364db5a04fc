// Process-level steps of the service's start-up.
#pragma once

#include <cstddef>

// Real-time scheduling: SCHED_FIFO at static priority 10. The call's result;
// a failure is logged and the service runs on without it.
int ChangePriority();

// Detaches from the terminal: forks, the parent ends at once with the
// child's process id as its exit status (init scripts have always read the
// low byte of it), the child starts a session of its own and puts
// /dev/null on descriptors 0-2. Returns in the child, or in the only
// process when the fork failed: 0, or -1 after a logged failure.
int DAEMONIZE();

// Sets TZ from the first line of the file "TZ" in the configuration folder,
// without its line end, and makes the time conversions use it. Without the
// file nothing is set.
void set_time_zone();

// "/var/local//accessbase.tpa" into `path`; the directory's own slash
// doubles, as the service has always named it.
void build_accessbase_path(char* path, size_t size);
