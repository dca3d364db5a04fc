// The one message that passes between statemgrd and its clients, both ways,
// and the socket address they meet at. Client and daemon are built from the
// same tree for the same machine, so the message is in the machine's own
// byte order; its layout is still fixed so that a 32-bit and a 64-bit build
// talk to each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/un.h>

// "STM1" read as a little-endian word; anything else is not ours.
enum : uint32_t { STM_MAGIC = 0x314d5453u };

enum stm_type : uint32_t {
    // Requests, each answered by one STM_REPLY with the request's seq.
    STM_HELLO = 1,       // name: client name, value: client record id
    STM_SUBSCRIBE = 2,   // name
    STM_NEXT_CHANGE = 3, // reply: name and value of the oldest queued change
    STM_SET = 4,         // name, value
    STM_GET = 5,         // name; reply: value
    STM_NOTIFY = 6,      // name, value
    STM_WATCH = 7,
    STM_CLIENT_INFO = 8, // value: index; reply: name, value: requests, extra: id
    STM_REQUEST_LAST = STM_CLIENT_INFO,
    // From the daemon.
    STM_REPLY = 100,  // code: the result code
    STM_NOTICE = 101, // extra: STMCC_NOTICE_*, name, value, seconds, microseconds
};

enum { STM_NAME_SIZE = 256 };

struct stm_msg_t {
    uint32_t magic;
    uint32_t type;
    uint32_t seq;
    int32_t value;
    int32_t code;
    int32_t extra;
    int64_t seconds;
    int32_t microseconds;
    int32_t reserved;
    char name[STM_NAME_SIZE]; // zero-terminated within the field
};
static_assert(sizeof(stm_msg_t) == 296, "message size");
static_assert(offsetof(stm_msg_t, magic) == 0, "layout");
static_assert(offsetof(stm_msg_t, type) == 4, "layout");
static_assert(offsetof(stm_msg_t, seq) == 8, "layout");
static_assert(offsetof(stm_msg_t, value) == 12, "layout");
static_assert(offsetof(stm_msg_t, code) == 16, "layout");
static_assert(offsetof(stm_msg_t, extra) == 20, "layout");
static_assert(offsetof(stm_msg_t, seconds) == 24, "layout");
static_assert(offsetof(stm_msg_t, microseconds) == 32, "layout");
static_assert(offsetof(stm_msg_t, reserved) == 36, "layout");
static_assert(offsetof(stm_msg_t, name) == 40, "layout");

// Why stm_decode refused a packet; 0 when it took it.
enum stm_defect {
    STM_WELL_FORMED = 0,
    STM_BAD_SIZE,
    STM_BAD_MAGIC,
    STM_BAD_TYPE,
    STM_UNTERMINATED_NAME,
};

// Copies a received packet of `length` bytes into *msg when it is a whole
// message of a known type whose name ends within its field.
stm_defect stm_decode(const void* packet, size_t length, stm_msg_t* msg);
const char* stm_defect_str(stm_defect defect);

// A state or event name: 1 to STMCC_NAME_MAX printable ASCII characters, no
// blanks. Within a decoded message, so always terminated.
bool stm_valid_item_name(const char* name);
// A client name: 1 to 255 characters, none of them a control character.
bool stm_valid_client_name(const char* name);

// The Unix-domain address of the socket file `path`; false when the path is
// empty or too long for a socket address.
bool stm_socket_address(const char* path, sockaddr_un* address);

// An empty message of `type` with the magic set.
stm_msg_t stm_message(stm_type type);
