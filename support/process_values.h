// The process-wide values that are plain numbers and texts: the flags the
// signal handlers set, the settings that several subsystems read, and the
// journals' file names. Kept apart from the state record `gv` (support/gv.h),
// which carries the board's types, so that a file using only these needs no
// board header.
#pragma once

#include <csignal>
#include <cstddef>

// Set by the signal handlers, polled by the loop.
extern volatile sig_atomic_t stop;
extern volatile sig_atomic_t usr1_flag;

extern char gv_deviceid[64];
extern char gv_netmountpoint[4096];
extern int gv_barrier_type; // 1 entry, -1 exit
extern char gv_mountpoints[3][4096];
extern char _GLOBAL_CONF_FULLNAME_[4096];
extern int gv_access_by_button; // the operator's photo request of this iteration

// File names, joined with "%s/%s" to their directories.
extern const char gv_accessbasepath[];
extern const char gv_accessbase[];
extern const char gv_netnumbase[];
extern const char gv_netpassbase[];
extern const char gv_netpassbase_csv[];
extern const char gv_passbase[];
extern const char gv_passbase_csv[];
extern const char gv_last_recognized_jpeg[];

// The paths made of these values.
//
// "/var/local//accessbase.tpa" into `path`; the directory's own slash
// doubles, as the service has always named it.
void build_accessbase_path(char* path, size_t size);

// Room for the longest net-base directory, the slash, any journal's file
// name and the terminator, so a path of a journal that the entry and the
// exit service share is never cut into another file's name.
constexpr size_t netbase_path_size = sizeof gv_netmountpoint + 32;

// Joins gv_netmountpoint and `name` with a slash into `path`.
void netbase_path(char (&path)[netbase_path_size], const char* name);
