// Every packet that reaches the state manager daemon or its client library
// is decoded here first: no packet may read outside itself or the message,
// and a decoded name must be one that the name checks can walk safely.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/statemgr/stm_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    stm_msg_t msg;
    if (stm_decode(data, size, &msg) != STM_WELL_FORMED)
        return 0;
    if (strnlen(msg.name, sizeof msg.name) == sizeof msg.name)
        __builtin_trap();
    stm_valid_item_name(msg.name);
    stm_valid_client_name(msg.name);
    return 0;
}
