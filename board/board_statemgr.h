// The board's state-manager client library, as the service calls it: the
// calls, the client handle, the client record and the two result codes the
// service tells apart, nothing of the library's transport or its other calls.
// The service includes this header and never the library's own. Where the
// board's SDK ships a header of its own, the build compiles the two side by
// side (cmake/board_check), and our stand-in's sources do the same, so any
// difference in a type fails the build instead of passing a wrong argument on
// the board.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// Opaque: the service only keeps the pointer stmcc_new returns and hands it
// back.
//
// To confirm on the board: that stmcc_new takes no argument and returns the
// handle as a pointer; a library that fills a handle through an argument
// would be handed a stray register.
typedef struct stmcc stmcc_t;

// The client record, passed by value: on ARM its first 12 bytes travel in
// r1-r3 and the rest on the stack, so its size, alignment and every offset
// must be the library's exactly. A C++ unit may define a struct only once:
// whichever header comes first (this one, the stand-in's, or the SDK's before
// the build's check unit) defines it, and the assertions below then hold the
// one definition to the layout that the service fills.
//
// To confirm on the board: the record's layout, a 32-bit id at offset 0 and
// a 256-byte name at 4. The service copies it whole into r1-r3 and onto the
// stack, so a library that lays it out otherwise reads a wrong id or name,
// and the client is registered under a wrong name or not at all.
#ifndef STMCC_CLIENT_REC_DEFINED
#define STMCC_CLIENT_REC_DEFINED
struct stmcc_client_rec_t {
    int32_t id;     // always 80000
    char name[256]; // "<program>.state_mgr_2", terminated
};
#endif
static_assert(sizeof(stmcc_client_rec_t) == 260, "the client record is 260 bytes");
static_assert(alignof(stmcc_client_rec_t) == 4, "the client record is word-aligned");
static_assert(offsetof(stmcc_client_rec_t, id) == 0, "client record layout");
static_assert(sizeof(stmcc_client_rec_t::id) == 4, "client record layout");
static_assert(offsetof(stmcc_client_rec_t, name) == 4, "client record layout");
static_assert(sizeof(stmcc_client_rec_t::name) == 256, "client record layout");

stmcc_t* stmcc_new(void);
// Result codes are ints. Besides the two below, the service only hands a code
// to stmc_get_result_str for its message.
int stmcc_start_as_msg_queue_client(stmcc_t* handle, stmcc_client_rec_t record);
int stmcc_subscribe(stmcc_t* handle, const char* state);
// `name` is a 32-byte buffer that the library fills with at most 31
// characters and the terminator; `value` a 32-bit int; `flags` always 0.
//
// To confirm on the board: the 32 bytes; a library that writes longer state
// names overruns the service's buffer on the stack.
int stmcc_wait_for_change_state(stmcc_t* handle, char* name, int* value, int flags);
int stmcc_event_notify(stmcc_t* handle, const char* event, int value);
// The service reads no result of it.
void stmcc_delete(stmcc_t* handle);
const char* stmc_get_result_str(int code);
}

// Named apart from the library's own constants, which a unit may see too.
//
// To confirm on the board: both values. With another "nothing waits" code
// every quiet poll would count as a lost connection: "wait for change state
// error" in the log every few seconds, and the photo request never seen.
const int stmcc_result_ok = 0;
const int stmcc_result_no_change = 10; // stmcc_wait_for_change_state: nothing waits
