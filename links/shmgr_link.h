// The service's output on the board's shared-memory stream: one block per
// passage (the record, then its JPEG) on the main channel, and zero blocks
// that keep the channel fed while no car passes.
#pragma once

#include "records/snapshot_archive.h"

// Connects `gv.shm_connection` under the service's client name: 0, or -1 when
// the manager refuses (start-up cannot go on without it).
int connect_shmgr();
void disconnect_shmgr();

// Publishes `rec` followed by a JPEG of `frame` (planar YUV 4:2:0,
// width x height). The record goes out even when no JPEG could be made.
// 0 when the block was handed back, -1 on failure (logged).
int send_rec_to_shmgr(_parking_rec_t rec, const unsigned char* frame, int width, int height);

// The same for a passage whose JPEG is made already: `jpeg`, `length` bytes
// that encodeImage_to_memory made of `frame` into a larger buffer. They are
// copied when they fit behind the record with one byte to spare (the memory
// encoder keeps its buffer's last byte free); otherwise the frame is encoded
// into the block, where a lower quality then fits. The encoder is
// deterministic and takes the first quality that fits, so the block carries
// exactly the bytes an encoding of its own would give. A length of 0 or less
// (the encoder made nothing of this frame) publishes the record alone; a null
// `jpeg` asks for the encoding here.
int send_rec_jpeg_to_shmgr(_parking_rec_t rec, const unsigned char* jpeg, int length,
                           const unsigned char* frame, int width, int height);

// Publishes a block without data: the reset form (length 0, frame time,
// activity and frame number 0) when `force` is non-zero or the manager marked
// the block as an I-frame, otherwise the empty form (length -1). 0 when
// handed back, -1 on failure; a block that cannot be had is not logged, the
// next loop iteration simply tries again.
int send_zero_block(int force);
