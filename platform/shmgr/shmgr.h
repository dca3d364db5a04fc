// The board's shared-memory stream manager, client side (libshmgr-connect),
// as the service calls it.
//
// Each channel is one POSIX shared-memory object named "<prefix>.<channel>",
// where the prefix is the environment variable SHMGR_PREFIX (default
// "/shmgr"), so that tests and simulated boards each get a stream of their
// own. A channel is a ring of SHMGR_RING_BLOCKS blocks; every block has a
// header (length, frame time, activity, frame number, I-frame bit, sequence
// number) and a data area of SHMGR_BLOCK_SIZE bytes. A writer fills one block
// at a time and publishes it; readers (shmgr_reader.h) follow the ring on
// their own and never hold up the writer: a reader that falls behind loses
// the oldest blocks and is told how many.
//
// What a freshly requested block holds before the writer sets anything (none
// of it what a writer resets a block to, so a reset that was left out shows):
// - length SHMGR_LENGTH_UNSET (no data, and never set);
// - frame time: the moment of the request, in microseconds since the epoch;
// - activity SHMGR_ACTIVITY_UNSET;
// - frame number: the block's sequence number on its channel;
// - I-frame bit: set on the first block a connection takes on a channel and
//   on every SHMGR_IFRAME_INTERVAL-th block of that connection on that channel
//   after it, so a reader that joins late meets a fresh start regularly.
// Lengths are signed: -1 and 0 are published as they are; the manager gives
// them no meaning of its own.
//
// Results: 1 on success; otherwise 0 with errno set (EINVAL for a bad handle
// or argument, EBUSY when a block is already held on the connection or by
// another writer on the channel).
#pragma once

#include <cstdint>

extern "C" {

typedef struct shmgr_connection* SHMGR_CONNECTION; // one machine word
typedef struct shmgr_block* SHMGR_BLOCK;           // one machine word

enum {
    SHMGR_MAX_CHANNELS = 8,
    SHMGR_RING_BLOCKS = 16,
    SHMGR_BLOCK_SIZE = 65536,
    SHMGR_IFRAME_INTERVAL = 50,
    SHMGR_LENGTH_UNSET = -2,
    SHMGR_ACTIVITY_UNSET = -1,
};

// 1 on success, filling *connection. `client_name` and `flags` are not used
// (there is no manager process to tell them to). Fails with EINVAL
// when SHMGR_PREFIX is not a valid shared-memory name ("/name", no other '/').
int shmgrConnect(const char* client_name, int flags, SHMGR_CONNECTION* connection);
// Ends the connection and clears *connection; a block still held is dropped
// unpublished.
int shmgrDisconnect(SHMGR_CONNECTION* connection);
// Takes the channel's next block for writing: 1 on success, filling *block;
// otherwise errno is set and *block is cleared. `size` is the number of data
// bytes the writer needs, 0 to SHMGR_BLOCK_SIZE. A writer holds at most one
// block at a time, and a channel has at most one block out at a time.
int shmgrRequestMemory(SHMGR_CONNECTION connection, int channel, int size, SHMGR_BLOCK* block);
// The block's data area, writable for the size requested; null with errno
// set when the block is not held through this connection.
void* shmgrGetData(SHMGR_CONNECTION connection, SHMGR_BLOCK block);
// From -1 up to the size requested.
int shmgrSetLen(SHMGR_BLOCK block, int length);
int shmgrGetIFrameBit(SHMGR_BLOCK block, int* iframe);
int shmgrSetFrameTime(SHMGR_BLOCK block, int64_t frame_time);
int shmgrSetActivity(SHMGR_BLOCK block, int activity);
int shmgrSetFrameNumber(SHMGR_BLOCK block, uint32_t frame_number);
// Publishes the block to the readers and clears *block: 1 on success, 0 with
// errno set.
int shmgrReturnMemory(SHMGR_CONNECTION connection, SHMGR_BLOCK* block);
}
