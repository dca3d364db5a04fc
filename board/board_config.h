// The board's configuration library, as the service calls it: the four calls
// and the handle they pass around, nothing else. The service includes this
// header and never the library's own. Where the board's SDK ships a header of
// its own, the build compiles the two side by side (cmake/board_check), and
// our stand-in's sources do the same, so any difference in a type fails the
// build instead of passing a wrong argument on the board.
//
// To confirm on the board: the library is C, so its calls carry plain,
// unmangled names (`nm -D`); a C++ library would leave every call below
// unresolved at link time.
#pragma once

extern "C" {

// An opaque pointer of one machine word: the service only keeps it within one
// call, hands it back unchanged and tests it against 0 (file not opened).
//
// To confirm on the board: the handle's type, and that a file that does not
// open gives 0. A library whose handle is an int with -1 for failure would
// pass the same word, but the service would take -1 for an open file and
// read the settings through it.
typedef struct config_file* CONFIG_HANDLE;

// `flags` is always 0.
CONFIG_HANDLE ConfigOpen(const char* path, int flags);
// 0 when the key was found and copied, cut to `size` bytes with the
// terminator. `size` is an int: the service passes at most 4096, and an
// unsigned or size_t parameter would take the same 32-bit register on the
// board with the same value.
//
// To confirm on the board: that `size` counts the terminator and a longer
// value is cut, not left unterminated; the service reads the field as a C
// string at once.
int ConfigGetStr(CONFIG_HANDLE handle, char* dest, const char* section, const char* key, int size);
// 0 when the key was found; every caller pre-sets *dest to its default, so a
// library that leaves it alone on failure, or writes it anyway, is fine.
int ConfigGetInt(CONFIG_HANDLE handle, int* dest, const char* section, const char* key);
// Its result is what get_mountpoints returns.
int ConfigClose(CONFIG_HANDLE handle);
}
