// Paths of the journals that the entry and the exit service share in the
// net-base directory.
#pragma once

#include <cstddef>

#include "support/process_values.h"

// Room for the longest net-base directory, the slash, any journal's file
// name and the terminator, so a path is never cut into another file's name.
constexpr size_t netbase_path_size = sizeof gv_netmountpoint + 32;

// Joins gv_netmountpoint and `name` with a slash into `path`.
void netbase_path(char (&path)[netbase_path_size], const char* name);
