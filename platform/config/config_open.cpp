#include "platform/config/config_parse.h"
// The service's own declarations of these calls: any difference fails here.
#include "board/board_config.h"

#include <cstdio>
#include <new>
#include <string>

#include "platform/config/config_file.h"

namespace {

// A configuration file is a few kilobytes; anything this large is not one,
// and reading it whole must not exhaust the board's memory.
const size_t max_file_size = 16u << 20;

// Reads the whole file into `text`; false when it cannot be read.
bool read_file(const char* path, std::string& text) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return false;
    char chunk[4096];
    size_t got;
    bool fits = true;
    while (fits && (got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        fits = text.size() + got <= max_file_size;
        if (fits)
            text.append(chunk, got);
    }
    // A directory opens but fails on the first read.
    const bool read_all = fits && !ferror(file);
    fclose(file);
    return read_all;
}

} // namespace

CONFIG_HANDLE ConfigOpen(const char* path, int) {
    if (path == nullptr)
        return nullptr;
    try {
        std::string text;
        if (!read_file(path, text))
            return nullptr;
        return config_parse_text(text.data(), text.size());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int ConfigClose(CONFIG_HANDLE handle) {
    if (handle == nullptr)
        return -1;
    delete handle;
    return 0;
}
