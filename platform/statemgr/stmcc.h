// The board's state manager client library, as the service calls it.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef struct stmcc stmcc_t;

// Passed by value to stmcc_start_as_msg_queue_client.
struct stmcc_client_rec_t {
    int32_t id;     // always 80000
    char name[256]; // client name, zero-terminated
};
static_assert(sizeof(stmcc_client_rec_t) == 260, "client record is 260 bytes");
static_assert(offsetof(stmcc_client_rec_t, id) == 0, "layout");
static_assert(offsetof(stmcc_client_rec_t, name) == 4, "layout");

enum {
    STMCC_OK = 0,
    STMCC_NO_CHANGE = 10, // stmcc_wait_for_change_state: nothing is waiting
};

stmcc_t* stmcc_new(void);
int stmcc_start_as_msg_queue_client(stmcc_t* handle, stmcc_client_rec_t record);
int stmcc_subscribe(stmcc_t* handle, const char* state);
// Delivers one waiting change: the state's name into `name` (32 bytes) and its
// value. Returns STMCC_NO_CHANGE at once when nothing waits.
int stmcc_wait_for_change_state(stmcc_t* handle, char* name, int* value, int flags);
int stmcc_event_notify(stmcc_t* handle, const char* event, int value);
void stmcc_delete(stmcc_t* handle);
const char* stmc_get_result_str(int code);
}
