#include "platform/shmgr/shmgr_reader.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <sys/mman.h>

#include "platform/shmgr/shmgr_layout.h"

struct shmgr_reader {
    shmgr::Mapping mapping;
    uint32_t next;   // sequence number wanted next
    uint32_t missed; // lost since the last block delivered
};

namespace {

int64_t monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void pause_briefly() {
    // Polling keeps the writer free of any duty towards readers.
    timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
}

int32_t distance(uint32_t from, uint32_t to) {
    return static_cast<int32_t>(to - from);
}

// Copies block `wanted` out of its slot; false when the writer has reused the
// slot before or during the copy.
bool copy_block(const shmgr::Channel& channel, uint32_t wanted, shmgr_block_info* info, void* data,
                int capacity) {
    const shmgr::Block& slot = shmgr::slot_of(channel, wanted);
    if (__atomic_load_n(&slot.header.sequence_end, __ATOMIC_ACQUIRE) != wanted) {
        return false;
    }
    info->sequence = wanted;
    info->length = slot.header.length;
    info->frame_time = slot.header.frame_time;
    info->activity = slot.header.activity;
    info->frame_number = slot.header.frame_number;
    info->iframe = slot.header.iframe != 0 ? 1 : 0;
    // A torn length is thrown away below, but must not send the copy past
    // the slot first.
    int count = info->length < 0 ? 0 : info->length;
    if (count > SHMGR_BLOCK_SIZE) {
        count = SHMGR_BLOCK_SIZE;
    }
    if (count > capacity) {
        count = capacity;
    }
    if (count > 0) {
        memcpy(data, slot.data, static_cast<size_t>(count));
    }
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    return __atomic_load_n(&slot.header.sequence_begin, __ATOMIC_RELAXED) == wanted;
}

} // namespace

namespace {

int attach(int channel, bool from_oldest, SHMGR_READER* reader) {
    if (reader == nullptr) {
        errno = EINVAL;
        return 0;
    }
    *reader = nullptr;
    shmgr::Mapping mapping;
    if (shmgr::map_channel(channel, false, &mapping) != 0) {
        return 0;
    }
    shmgr_reader* attached = new (std::nothrow) shmgr_reader();
    if (attached == nullptr) {
        shmgr::unmap_channel(&mapping);
        errno = ENOMEM;
        return 0;
    }
    attached->mapping = mapping;
    // Block 1 is long gone from a full ring: the reader then goes on with
    // the oldest one there.
    attached->next =
        from_oldest ? 1 : __atomic_load_n(&mapping.channel->header.head, __ATOMIC_ACQUIRE) + 1;
    *reader = attached;
    return 1;
}

} // namespace

int shmgrReaderAttach(int channel, SHMGR_READER* reader) {
    return attach(channel, false, reader);
}

int shmgrReaderAttachFromOldest(int channel, SHMGR_READER* reader) {
    return attach(channel, true, reader);
}

int shmgrReaderNext(SHMGR_READER reader, shmgr_block_info* info, void* data, int capacity,
                    int timeout_ms) {
    if (reader == nullptr || info == nullptr || capacity < 0 || (data == nullptr && capacity > 0)) {
        errno = EINVAL;
        return -1;
    }
    int64_t deadline = monotonic_ms() + (timeout_ms > 0 ? timeout_ms : 0);
    const shmgr::Channel& channel = *reader->mapping.channel;
    for (;;) {
        if (shmgr::check_mapping(reader->mapping) != 0) {
            return -1;
        }
        uint32_t head = __atomic_load_n(&channel.header.head, __ATOMIC_ACQUIRE);
        if (distance(reader->next - 1, head) < 0) {
            // The head went back: the channel was zeroed, and its numbers
            // start again from 1.
            reader->next = 1;
        }
        if (distance(reader->next, head) < 0) {
            if (monotonic_ms() >= deadline) {
                return 0;
            }
            pause_briefly();
            continue;
        }
        // Slots older than one ring behind the head are gone for certain.
        uint32_t oldest = head - (SHMGR_RING_BLOCKS - 1);
        if (distance(reader->next, oldest) > 0) {
            reader->missed += static_cast<uint32_t>(distance(reader->next, oldest));
            reader->next = oldest;
        }
        uint32_t wanted = reader->next;
        if (copy_block(channel, wanted, info, data, capacity)) {
            info->missed = reader->missed;
            reader->missed = 0;
            reader->next = wanted + 1;
            return 1;
        }
        // The writer has overtaken this reader; the blocks up to the newest
        // are the next ones it reuses, so chasing them would lose them all.
        uint32_t newest = __atomic_load_n(&channel.header.head, __ATOMIC_ACQUIRE);
        uint32_t resume = distance(wanted, newest) > 0 ? newest : wanted + 1;
        reader->missed += resume - wanted;
        reader->next = resume;
    }
}

int shmgrReaderDetach(SHMGR_READER* reader) {
    if (reader == nullptr || *reader == nullptr) {
        errno = EINVAL;
        return 0;
    }
    shmgr::unmap_channel(&(*reader)->mapping);
    delete *reader;
    *reader = nullptr;
    return 1;
}

int shmgrRemoveChannel(int channel) {
    char name[NAME_MAX + 1];
    if (shmgr::channel_name(channel, name, sizeof name) != 0) {
        return 0;
    }
    return shm_unlink(name) == 0 ? 1 : 0;
}
