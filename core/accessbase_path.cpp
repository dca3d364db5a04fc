#include <cstdio>

#include "core/startup.h"
#include "support/process_values.h"

void build_accessbase_path(char* path, size_t size) {
    snprintf(path, size, "%s/%s", gv_accessbasepath, gv_accessbase);
}
