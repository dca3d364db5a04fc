// The board's configuration library, as the service calls it. This stand-in
// reads INI files; see config.cpp for the syntax it accepts.
#pragma once

extern "C" {

typedef struct config_file* CONFIG_HANDLE;

// Opens and parses `path`; 0 when the file cannot be opened. `flags` is 0.
CONFIG_HANDLE ConfigOpen(const char* path, int flags);
// Copies the value of section/key into `dest`, at most `size` bytes with the
// terminator (longer values are cut). 0 on success, non-zero when missing.
int ConfigGetStr(CONFIG_HANDLE handle, char* dest, const char* section, const char* key,
                 int size);
// Stores the decimal value of section/key. 0 on success; non-zero when the
// key is missing or its value is not a decimal integer (`dest` untouched).
int ConfigGetInt(CONFIG_HANDLE handle, int* dest, const char* section, const char* key);
// Releases the handle; 0 on success.
int ConfigClose(CONFIG_HANDLE handle);
}
