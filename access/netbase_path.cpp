#include "access/netbase_path.h"

#include <cstdio>

void netbase_path(char (&path)[netbase_path_size], const char* name) {
    snprintf(path, sizeof path, "%.*s/%s", static_cast<int>(sizeof gv_netmountpoint),
             gv_netmountpoint, name);
}
