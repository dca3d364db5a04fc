// The board's shared-memory stream manager, client side (libshmgr-connect),
// as the service calls it.
#pragma once

#include <cstdint>

extern "C" {

typedef struct shmgr_connection* SHMGR_CONNECTION; // one machine word
typedef struct shmgr_block* SHMGR_BLOCK;           // one machine word

// 1 on success, filling *connection.
int shmgrConnect(const char* client_name, int flags, SHMGR_CONNECTION* connection);
int shmgrDisconnect(SHMGR_CONNECTION* connection);
// Takes the channel's next block for writing: 1 on success, filling *block;
// otherwise errno is set. A writer holds at most one block at a time.
int shmgrRequestMemory(SHMGR_CONNECTION connection, int channel, int size, SHMGR_BLOCK* block);
// The block's data area, writable for the size requested.
void* shmgrGetData(SHMGR_CONNECTION connection, SHMGR_BLOCK block);
int shmgrSetLen(SHMGR_BLOCK block, int length);
int shmgrGetIFrameBit(SHMGR_BLOCK block, int* iframe);
int shmgrSetFrameTime(SHMGR_BLOCK block, int64_t frame_time);
int shmgrSetActivity(SHMGR_BLOCK block, int activity);
int shmgrSetFrameNumber(SHMGR_BLOCK block, uint32_t frame_number);
// Publishes the block to the readers: 1 on success, 0 with errno set.
int shmgrReturnMemory(SHMGR_CONNECTION connection, SHMGR_BLOCK* block);
}
