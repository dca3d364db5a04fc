// How one channel lies in shared memory, shared by the writer and reader
// sides of the library.
//
// A new object is all zeros, and all zeros is a valid empty channel: nothing
// published yet, nobody writing. So whoever opens a channel first only has to
// size it; no one initialises it, and nothing can see it half initialised.
//
// Sequence numbers start at 1 and wrap at 2^32; block n lives in ring slot
// n % SHMGR_RING_BLOCKS, which stays consistent across the wrap because the
// ring size divides 2^32. Differences of sequence numbers are taken as
// signed 32-bit values.
//
// Publishing a block follows the sequence-lock pattern: the writer stores the
// block's number into `sequence_begin`, then (after a full barrier) the
// header fields and data, then (after another barrier) the number into
// `sequence_end`, and last advances the channel's `head`. A reader takes
// `sequence_end`, copies, and after a barrier checks `sequence_begin`: if
// both still name the block it wanted, the copy is whole; otherwise the
// writer has started to reuse the slot and the block counts as missed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/shmgr/shmgr.h"

namespace shmgr {

struct ChannelHeader {
    uint32_t head;      // sequence number of the last block published, 0 before the first
    int32_t holder_pid; // process that holds a block of this channel, 0 when none
    uint8_t unused[56]; // keeps the blocks 64-byte aligned
};
static_assert(sizeof(ChannelHeader) == 64, "channel header is 64 bytes");
static_assert(offsetof(ChannelHeader, head) == 0, "layout");
static_assert(offsetof(ChannelHeader, holder_pid) == 4, "layout");
static_assert(offsetof(ChannelHeader, unused) == 8, "layout");

struct BlockHeader {
    uint32_t sequence_begin; // block number the writer is filling this slot with
    int32_t length;          // -1 up to the data bytes the writer asked for
    int64_t frame_time;
    int32_t activity;
    uint32_t frame_number;
    uint32_t iframe; // 1 when set
    uint8_t unused[32];
    uint32_t sequence_end; // block number once the slot is complete
};
static_assert(sizeof(BlockHeader) == 64, "block header is 64 bytes");
static_assert(offsetof(BlockHeader, sequence_begin) == 0, "layout");
static_assert(offsetof(BlockHeader, length) == 4, "layout");
static_assert(offsetof(BlockHeader, frame_time) == 8, "layout");
static_assert(offsetof(BlockHeader, activity) == 16, "layout");
static_assert(offsetof(BlockHeader, frame_number) == 20, "layout");
static_assert(offsetof(BlockHeader, iframe) == 24, "layout");
static_assert(offsetof(BlockHeader, unused) == 28, "layout");
static_assert(offsetof(BlockHeader, sequence_end) == 60, "layout");

struct Block {
    BlockHeader header;
    unsigned char data[SHMGR_BLOCK_SIZE];
};
static_assert(sizeof(Block) == 64 + SHMGR_BLOCK_SIZE, "block layout");
static_assert(offsetof(Block, header) == 0, "layout");
static_assert(offsetof(Block, data) == 64, "layout");

struct Channel {
    ChannelHeader header;
    Block blocks[SHMGR_RING_BLOCKS];
};
static_assert(sizeof(Channel) == 64 + SHMGR_RING_BLOCKS * sizeof(Block), "channel layout");
static_assert(offsetof(Channel, header) == 0, "layout");
static_assert(offsetof(Channel, blocks) == 64, "layout");

inline Block& slot_of(Channel& channel, uint32_t sequence) {
    return channel.blocks[sequence % SHMGR_RING_BLOCKS];
}
inline const Block& slot_of(const Channel& channel, uint32_t sequence) {
    return channel.blocks[sequence % SHMGR_RING_BLOCKS];
}

// "<prefix>.<channel>" into `name`: 0, or -1 with errno EINVAL when the
// prefix or the channel is not valid or the name does not fit.
int channel_name(int channel, char* name, size_t size);

// A channel's object as mapped. Its descriptor stays open, so that before
// every block the object can be checked: another program may remove it,
// shrink it (touching memory past its end would raise SIGBUS) or replace it.
struct Mapping {
    Channel* channel; // null when not mapped
    int fd;
};

// Opens the channel's object and maps it: a writer's writable, creating
// and sizing it when it does not exist yet; a reader's read-only, never
// creating it. 0, or -1 with errno (EPROTO for an object of another size
// than a channel's, EAGAIN for one not sized yet).
int map_channel(int channel, bool writable, Mapping* mapping);
void unmap_channel(Mapping* mapping);

// 0 while the mapped object is still the channel's and of a channel's
// size; -1 with errno EIDRM when it was removed from its name, EPROTO when
// its size changed.
int check_mapping(const Mapping& mapping);

} // namespace shmgr
