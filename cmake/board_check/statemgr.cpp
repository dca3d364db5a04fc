// The SDK's header of the state-manager client library beside the service's
// declarations; see config.cpp beside this file for how a difference fails.
#include <cstddef>
#include <cstdint>

extern "C" {
#include BOARD_SDK_HEADER
}

// The SDK's header defines the client record; the service's header then
// holds that definition to the layout the service fills instead of defining
// its own.
#ifndef STMCC_CLIENT_REC_DEFINED
#define STMCC_CLIENT_REC_DEFINED
#endif
#include "board/board_statemgr.h"

#define BOARD_CALL(name) static_assert(sizeof(&::name) != 0, #name)
BOARD_CALL(stmcc_new);
BOARD_CALL(stmcc_start_as_msg_queue_client);
BOARD_CALL(stmcc_subscribe);
BOARD_CALL(stmcc_wait_for_change_state);
BOARD_CALL(stmcc_event_notify);
BOARD_CALL(stmcc_delete);
BOARD_CALL(stmc_get_result_str);
