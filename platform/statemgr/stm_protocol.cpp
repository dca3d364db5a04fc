#include "platform/statemgr/stm_protocol.h"

#include <cstring>
#include <sys/socket.h>

#include "platform/statemgr/stmcc.h"

namespace {

bool known_type(uint32_t type) {
    return (type >= STM_HELLO && type <= STM_REQUEST_LAST) || type == STM_REPLY ||
           type == STM_NOTICE;
}

} // namespace

stm_defect stm_decode(const void* packet, size_t length, stm_msg_t* msg) {
    if (length != sizeof(stm_msg_t))
        return STM_BAD_SIZE;
    memcpy(msg, packet, sizeof *msg);
    if (msg->magic != STM_MAGIC)
        return STM_BAD_MAGIC;
    if (!known_type(msg->type))
        return STM_BAD_TYPE;
    if (memchr(msg->name, '\0', sizeof msg->name) == nullptr)
        return STM_UNTERMINATED_NAME;
    return STM_WELL_FORMED;
}

const char* stm_defect_str(stm_defect defect) {
    switch (defect) {
    case STM_WELL_FORMED:
        return "well formed";
    case STM_BAD_SIZE:
        return "wrong size";
    case STM_BAD_MAGIC:
        return "not a state manager message";
    case STM_BAD_TYPE:
        return "unknown message type";
    case STM_UNTERMINATED_NAME:
        return "name not terminated";
    }
    return "unknown defect";
}

bool stm_valid_item_name(const char* name) {
    size_t length = strlen(name);
    if (length == 0 || length > STMCC_NAME_MAX)
        return false;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c <= ' ' || c >= 0x7f)
            return false;
    }
    return true;
}

bool stm_valid_client_name(const char* name) {
    size_t length = strlen(name);
    if (length == 0 || length >= STM_NAME_SIZE)
        return false;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < ' ' || c == 0x7f)
            return false;
    }
    return true;
}

bool stm_socket_address(const char* path, sockaddr_un* address) {
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    const size_t length = strlen(path);
    if (length == 0 || length >= sizeof address->sun_path)
        return false;
    memcpy(address->sun_path, path, length);
    return true;
}

stm_msg_t stm_message(stm_type type) {
    stm_msg_t msg;
    memset(&msg, 0, sizeof msg);
    msg.magic = STM_MAGIC;
    msg.type = type;
    return msg;
}
