// Compiled in a build against a board SDK that ships its own header of the
// configuration library (BOARD_SDK_HEADER): the SDK's declarations first, as
// C, then the service's. C++ refuses a C function declared twice with other
// types, and a typedef that names another type, so any difference fails the
// build. Taking each call's address refuses a declaration of the SDK's that
// stands beside the service's as a second overload instead of clashing.
#include <cstddef>
#include <cstdint>

extern "C" {
#include BOARD_SDK_HEADER
}

#include "board/board_config.h"

#define BOARD_CALL(name) static_assert(sizeof(&::name) != 0, #name)
BOARD_CALL(ConfigOpen);
BOARD_CALL(ConfigGetStr);
BOARD_CALL(ConfigGetInt);
BOARD_CALL(ConfigClose);
