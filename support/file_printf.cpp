#include "support/support_routines.h"

#include <cstdio>

int vfile_printf(const char* path, const char* fmt, va_list ap) {
    FILE* file = fopen(path, "ab");
    if (file == nullptr)
        return -1;
    // A full disk or a vanished storage shows only at the write or at the
    // flush inside fclose; the journal line is lost then, so say so.
    const bool written = vfprintf(file, fmt, ap) >= 0;
    const bool closed = fclose(file) == 0;
    return written && closed ? 0 : -1;
}

int file_printf(const char* path, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int result = vfile_printf(path, fmt, ap);
    va_end(ap);
    return result;
}
