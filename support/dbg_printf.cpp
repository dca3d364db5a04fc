#include "support/support_routines.h"

int dbg_printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int result = vfile_printf("/dev/console", fmt, ap);
    va_end(ap);
    return result;
}
