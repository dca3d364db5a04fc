// Following a channel of the stream manager from another process: the dump
// tool, tests and simulated boards read what the writer publishes (see
// shmgr.h for the stream's model). A reader never makes the writer wait; a
// reader too slow for the ring is told how many blocks it lost. One that
// fell a whole ring behind goes on with the oldest block still in the ring;
// one that the writer overtakes in the middle of a copy goes on with the
// newest, since the blocks in between are the next ones to be overwritten.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/shmgr/shmgr.h"

extern "C" {

typedef struct shmgr_reader* SHMGR_READER;

// One block's header as published.
struct shmgr_block_info {
    uint32_t sequence; // 1 for the channel's first block, then one more per block
    int32_t length;    // as the writer set it, -1 and 0 included
    int64_t frame_time;
    int32_t activity;
    uint32_t frame_number;
    int32_t iframe;  // 1 when set
    uint32_t missed; // blocks published since the previous one delivered that this reader lost
};

// Attaches to `channel`, which a writer has made: a reader never makes a
// channel, so that one named wrongly is not left behind, nor one owned by
// the reader's user. The reader then follows the blocks published after
// this call. 1 on success, 0 with errno set (ENOENT: no writer has made the
// channel yet; EAGAIN: one is making it).
int shmgrReaderAttach(int channel, SHMGR_READER* reader);
// The same, but the reader follows the channel from the oldest block still
// in its ring: for a reader that waited for the channel to be made, to
// which every block of it is new.
int shmgrReaderAttachFromOldest(int channel, SHMGR_READER* reader);
// Delivers the next block: its header into *info and the first
// min(length, capacity) bytes of its data into `data`. Waits up to
// `timeout_ms` milliseconds for one to be published (0: just looks).
// 1 when a block was delivered, 0 when none came in time, -1 with errno set
// on a bad argument, or when the channel's object was removed (EIDRM) or
// its size changed (EPROTO): such a reader is done with, and a new attach
// follows the channel under its name again. A channel that was zeroed is
// followed from its new first block.
int shmgrReaderNext(SHMGR_READER reader, shmgr_block_info* info, void* data, int capacity,
                    int timeout_ms);
// Detaches and clears *reader; 1 on success, 0 with errno set.
int shmgrReaderDetach(SHMGR_READER* reader);
// Why the channel cannot be used, after a failed attach or read ended with
// `error`, for people: the object's name and what is wrong with it (a
// malformed SHMGR_PREFIX, an object of another size, a removed one).
void shmgrDescribeChannel(int channel, int error, char* text, size_t size);
// Removes the channel's shared-memory object (an attached writer or reader
// keeps its mapping): 1 on success, 0 with errno set.
int shmgrRemoveChannel(int channel);
}
