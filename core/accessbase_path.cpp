#include <cstdio>

#include "core/gv.h"
#include "core/startup.h"

void build_accessbase_path(char* path, size_t size) {
    snprintf(path, size, "%s/%s", gv_accessbasepath, gv_accessbase);
}
