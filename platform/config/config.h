// The board's configuration library, as the service calls it. This stand-in
// reads INI files:
//
//   ; a comment line (also "#"); blank lines are skipped
//   [section]
//   key = value
//
// - Spaces and tabs around section names, keys and values are dropped, and so
//   is the carriage return of a CRLF line end.
// - A value wrapped in double quotes loses the two quotes and keeps what is
//   between them as it is, so `key = "in "` keeps its trailing blank.
// - Comments take whole lines: a ';' or '#' inside a value is part of it.
// - Names are compared exactly (case matters). Keys before the first section
//   belong to the section "".
// - When a key appears twice in a section (a section may also appear twice),
//   the last value wins.
// - Lines that fit none of these forms are skipped; no input makes the
//   library fail or crash, and a file larger than 16 MiB is not opened.
#pragma once

extern "C" {

typedef struct config_file* CONFIG_HANDLE;

// Opens and parses `path`; 0 when the file cannot be opened. `flags` is 0.
CONFIG_HANDLE ConfigOpen(const char* path, int flags);
// Copies the value of section/key into `dest`, at most `size` bytes with the
// terminator (longer values are cut). 0 on success, non-zero when missing
// (or `size` is below 1); `dest` is untouched then.
int ConfigGetStr(CONFIG_HANDLE handle, char* dest, const char* section, const char* key, int size);
// Stores the decimal value of section/key. 0 on success; non-zero when the
// key is missing or its value is not a decimal integer within int's range
// (`dest` untouched).
int ConfigGetInt(CONFIG_HANDLE handle, int* dest, const char* section, const char* key);
// Releases the handle; 0 on success, non-zero for a null handle.
int ConfigClose(CONFIG_HANDLE handle);
}
