// The writer side's private records behind the opaque handles.
#pragma once

#include <cstdint>

#include "platform/shmgr/shmgr.h"
#include "platform/shmgr/shmgr_faults.h"
#include "platform/shmgr/shmgr_layout.h"

struct shmgr_block {
    bool held;
    shmgr_connection* owner;
    shmgr::Channel* channel;
    shmgr::Block* slot;
    uint32_t sequence;
    int size;
};

struct shmgr_connection {
    uint32_t magic; // connection_magic while alive, so stale handles are refused
    shmgr::Mapping channels[SHMGR_MAX_CHANNELS]; // mapped on first use
    uint32_t blocks_taken[SHMGR_MAX_CHANNELS];   // drives the I-frame bit
    shmgr_block block;                           // the one block a writer may hold
};

namespace shmgr {

constexpr uint32_t connection_magic = 0x53484d43; // "SHMC"

// The block, when it is a block currently held; otherwise null and errno
// EINVAL.
shmgr_block* held_block(SHMGR_BLOCK block);

// Gives up the channel's writer slot that `block` holds, unpublished or
// published.
void release_block(shmgr_block* block);

// The connection's mapping of `channel`, checked before a block is taken
// from it: mapped on first use, and again when its object was removed (a
// reader waits for it under the same name); null with errno EPROTO when the
// object's size is not a channel's.
Channel* usable_channel(shmgr_connection& connection, int channel);

// True, with errno set, when a failure of `call` was asked for; consumes it.
bool injected_failure(shmgr_fault_call call);

} // namespace shmgr
