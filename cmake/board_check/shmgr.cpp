// The SDK's header of the stream manager library beside the service's
// declarations; see config.cpp beside this file for how a difference fails.
#include <cstddef>
#include <cstdint>

extern "C" {
#include BOARD_SDK_HEADER
}

#include "board/board_shmgr.h"

#define BOARD_CALL(name) static_assert(sizeof(&::name) != 0, #name)
BOARD_CALL(shmgrConnect);
BOARD_CALL(shmgrDisconnect);
BOARD_CALL(shmgrRequestMemory);
BOARD_CALL(shmgrGetData);
BOARD_CALL(shmgrSetLen);
BOARD_CALL(shmgrGetIFrameBit);
BOARD_CALL(shmgrSetFrameTime);
BOARD_CALL(shmgrSetActivity);
BOARD_CALL(shmgrSetFrameNumber);
BOARD_CALL(shmgrReturnMemory);
