// The board's configuration library, as the service calls it: the four calls
// and the handle they pass around, nothing else. The service includes this
// header and never the library's own. Where the board's SDK ships a header of
// its own, the build compiles the two side by side (cmake/board_check), and
// our stand-in's sources do the same, so any difference in a type fails the
// build instead of passing a wrong argument on the board.
#pragma once

extern "C" {

// An opaque pointer of one machine word: the service only keeps it within one
// call, hands it back unchanged and tests it against 0 (file not opened).
typedef struct config_file* CONFIG_HANDLE;

// `flags` is always 0.
CONFIG_HANDLE ConfigOpen(const char* path, int flags);
// 0 when the key was found and copied, cut to `size` bytes with the
// terminator. `size` is an int: the service passes at most 4096, and an
// unsigned or size_t parameter would take the same 32-bit register on the
// board with the same value.
int ConfigGetStr(CONFIG_HANDLE handle, char* dest, const char* section, const char* key, int size);
// 0 when the key was found; every caller pre-sets *dest to its default, so a
// library that leaves it alone on failure, or writes it anyway, is fine.
int ConfigGetInt(CONFIG_HANDLE handle, int* dest, const char* section, const char* key);
// Its result is what get_mountpoints returns.
int ConfigClose(CONFIG_HANDLE handle);
}
