#include "platform/shmgr/shmgr_connection.h"
// The service's own declarations of these calls: any difference fails here.
#include "board/board_shmgr.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <unistd.h>

namespace shmgr {

namespace {

bool process_gone(int32_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

// One block out per channel keeps a second writer from filling the slot that
// the first one is filling. A writer that died holding it would keep the
// channel closed for good, so its claim is taken over.
bool claim_channel(Channel& channel) {
    int32_t me = static_cast<int32_t>(getpid());
    int32_t holder = 0;
    while (!__atomic_compare_exchange_n(&channel.header.holder_pid, &holder, me, false,
                                        __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        if (holder == me || !process_gone(holder)) {
            errno = EBUSY;
            return false;
        }
    }
    return true;
}

int64_t now_microseconds() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

} // namespace

shmgr_block* held_block(SHMGR_BLOCK block) {
    if (block == nullptr || !block->held || block->owner == nullptr ||
        block->owner->magic != connection_magic || &block->owner->block != block) {
        errno = EINVAL;
        return nullptr;
    }
    return block;
}

void release_block(shmgr_block* block) {
    block->held = false;
    __atomic_store_n(&block->channel->header.holder_pid, 0, __ATOMIC_RELEASE);
}

} // namespace shmgr

int shmgrRequestMemory(SHMGR_CONNECTION connection, int channel, int size, SHMGR_BLOCK* block) {
    if (block != nullptr) {
        *block = nullptr;
    }
    if (connection == nullptr || connection->magic != shmgr::connection_magic || block == nullptr ||
        channel < 0 || channel >= SHMGR_MAX_CHANNELS || size < 0 || size > SHMGR_BLOCK_SIZE) {
        errno = EINVAL;
        return 0;
    }
    if (connection->block.held) {
        errno = EBUSY;
        return 0;
    }
    if (shmgr::injected_failure(SHMGR_FAULT_REQUEST)) {
        return 0;
    }
    shmgr::Channel* mapped = shmgr::usable_channel(*connection, channel);
    if (mapped == nullptr || !shmgr::claim_channel(*mapped)) {
        return 0;
    }
    // Only the claimant advances head, so this number is ours; an earlier
    // writer that died holding it published nothing under it.
    uint32_t sequence = __atomic_load_n(&mapped->header.head, __ATOMIC_ACQUIRE) + 1;
    shmgr::Block& slot = shmgr::slot_of(*mapped, sequence);
    __atomic_store_n(&slot.header.sequence_begin, sequence, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    uint32_t taken = connection->blocks_taken[channel]++;
    slot.header.length = SHMGR_LENGTH_UNSET;
    slot.header.frame_time = shmgr::now_microseconds();
    slot.header.activity = SHMGR_ACTIVITY_UNSET;
    slot.header.frame_number = sequence;
    slot.header.iframe = taken % SHMGR_IFRAME_INTERVAL == 0 ? 1 : 0;

    shmgr_block& held = connection->block;
    held.held = true;
    held.owner = connection;
    held.channel = mapped;
    held.slot = &slot;
    held.sequence = sequence;
    held.size = size;
    *block = &held;
    return 1;
}

int shmgrReturnMemory(SHMGR_CONNECTION connection, SHMGR_BLOCK* block) {
    if (connection == nullptr || connection->magic != shmgr::connection_magic || block == nullptr ||
        *block != &connection->block || shmgr::held_block(*block) == nullptr) {
        errno = EINVAL;
        return 0;
    }
    shmgr_block& held = **block;
    if (shmgr::injected_failure(SHMGR_FAULT_RETURN)) {
        int error = errno;
        shmgr::release_block(&held);
        *block = nullptr;
        errno = error;
        return 0;
    }
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    __atomic_store_n(&held.slot->header.sequence_end, held.sequence, __ATOMIC_RELEASE);
    __atomic_store_n(&held.channel->header.head, held.sequence, __ATOMIC_RELEASE);
    shmgr::release_block(&held);
    *block = nullptr;
    return 1;
}
