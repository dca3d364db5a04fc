// The board's shared-memory stream manager (libshmgr-connect.so.0), as the
// service calls it: the ten calls and the two handles, nothing of a reader or
// of how blocks are laid out in memory. The service includes this header and
// never the library's own. Where the board's SDK ships a header of its own,
// the build compiles the two side by side (cmake/board_check), and our
// stand-in's sources do the same, so any difference in a type fails the build
// instead of passing a wrong argument on the board.
//
// Results: 1 is success for every call whose result the service reads; any
// other value is a failure with errno set.
//
// To confirm on the board: that success is 1, not 0 as for most C
// libraries; with 0, every connection would count as failed and the service
// would not start ("Can't connect to shmgr").
#pragma once

#include <cstdint>

extern "C" {

// Both handles are opaque values of one machine word, which the service keeps
// in gv and hands back unchanged (by address to shmgrDisconnect and
// shmgrReturnMemory, which may clear them). A pointer type has that width on
// every target, so whether the library names an integer or a pointer, the
// same register and the same word in gv carry it on the 32-bit board.
//
// To confirm on the board: both handle types, and that they are one 32-bit
// word; a handle that is a record passed by value would take more registers
// than the service fills.
typedef struct shmgr_connection* SHMGR_CONNECTION;
typedef struct shmgr_block* SHMGR_BLOCK;

// `flags` is always 0.
int shmgrConnect(const char* client_name, int flags, SHMGR_CONNECTION* connection);
int shmgrDisconnect(SHMGR_CONNECTION* connection);
// `size` is 65536 or 0: an int, or any other 32-bit count, gets the same value.
int shmgrRequestMemory(SHMGR_CONNECTION connection, int channel, int size, SHMGR_BLOCK* block);
void* shmgrGetData(SHMGR_CONNECTION connection, SHMGR_BLOCK block);
// Signed: the service sets -1 for an empty block.
int shmgrSetLen(SHMGR_BLOCK block, int length);
// The library stores a 32-bit int; the service clears it first, so a call
// that stores nothing reads as a clear bit.
//
// To confirm on the board: that it stores no more than 4 bytes; a 64-bit
// store would overwrite the word after the service's variable.
int shmgrGetIFrameBit(SHMGR_BLOCK block, int* iframe);
// The frame time is a signed 64-bit count (microseconds since the epoch in
// our stand-in). The service only ever passes 0, but the width still matters:
// on ARM a 64-bit argument travels in the register pair r2:r3, a 32-bit one in
// r1, so a library that takes a 32-bit time would read a stray register.
//
// To confirm on the board: the frame time's width. Only the side-by-side
// compile against the SDK's header proves it; an SDK without headers must be
// checked by hand (README).
int shmgrSetFrameTime(SHMGR_BLOCK block, int64_t frame_time);
// Activity and frame number are 32-bit and always 0 here: signed or unsigned,
// int or long, the board passes them in the same register with the same bits.
int shmgrSetActivity(SHMGR_BLOCK block, int activity);
int shmgrSetFrameNumber(SHMGR_BLOCK block, uint32_t frame_number);
int shmgrReturnMemory(SHMGR_CONNECTION connection, SHMGR_BLOCK* block);
}
