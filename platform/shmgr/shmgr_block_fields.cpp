#include "platform/shmgr/shmgr_connection.h"
// The service's own declarations of these calls: any difference fails here.
#include "board/board_shmgr.h"

#include <cerrno>

namespace {

template <typename Field>
int set_field(SHMGR_BLOCK block, Field shmgr::BlockHeader::*field, Field value) {
    shmgr_block* held = shmgr::held_block(block);
    if (held == nullptr) {
        return 0;
    }
    held->slot->header.*field = value;
    return 1;
}

} // namespace

void* shmgrGetData(SHMGR_CONNECTION connection, SHMGR_BLOCK block) {
    shmgr_block* held = shmgr::held_block(block);
    if (held == nullptr || held->owner != connection) {
        errno = EINVAL;
        return nullptr;
    }
    if (shmgr::injected_failure(SHMGR_FAULT_GET_DATA)) {
        return nullptr;
    }
    return held->slot->data;
}

int shmgrSetLen(SHMGR_BLOCK block, int length) {
    shmgr_block* held = shmgr::held_block(block);
    if (held == nullptr) {
        return 0;
    }
    // Readers copy `length` bytes: more than the writer asked for would hand
    // them bytes that nobody wrote for this block.
    if (length < -1 || length > held->size) {
        errno = EINVAL;
        return 0;
    }
    held->slot->header.length = length;
    return 1;
}

int shmgrGetIFrameBit(SHMGR_BLOCK block, int* iframe) {
    shmgr_block* held = shmgr::held_block(block);
    if (held == nullptr || iframe == nullptr) {
        errno = EINVAL;
        return 0;
    }
    *iframe = held->slot->header.iframe != 0 ? 1 : 0;
    return 1;
}

int shmgrSetFrameTime(SHMGR_BLOCK block, int64_t frame_time) {
    return set_field(block, &shmgr::BlockHeader::frame_time, frame_time);
}

int shmgrSetActivity(SHMGR_BLOCK block, int activity) {
    return set_field(block, &shmgr::BlockHeader::activity, activity);
}

int shmgrSetFrameNumber(SHMGR_BLOCK block, uint32_t frame_number) {
    return set_field(block, &shmgr::BlockHeader::frame_number, frame_number);
}
