// shmgr-dump: follows a channel of the shared-memory stream and shows every
// block for people, with the passage record of passage blocks decoded and
// their JPEGs optionally saved. The logic is a library so that tests run it
// in-process; the program is only the command line around it.
#pragma once

#include <csignal>
#include <cstdio>

#include "platform/shmgr/shmgr_reader.h"

struct DumpOptions {
    int channel = 0;
    long count = 0;   // blocks to show, 0 for no limit
    long seconds = 0; // how long to follow, 0 for no limit
    bool passages_only = false;
    bool once = false; // end with a failure when the channel goes, rather than wait for it
    bool wait = false; // wait for a channel that no writer has made yet, rather than fail
    const char* jpeg_dir = nullptr; // where to save passage JPEGs, null for nowhere
};

// Set by the program's signal handlers: ends the dump after the current block.
extern volatile sig_atomic_t dump_interrupted;

// The block's header line and, for a passage block, its record.
void print_block(FILE* out, const shmgr_block_info& info, const unsigned char* data);

// Writes a passage block's JPEG to "<dir>/block-<sequence>.jpeg": 0, or -1
// after telling `err` why not. `data` holds the block as the reader
// delivered it, at most SHMGR_BLOCK_SIZE bytes.
int save_block_jpeg(const char* dir, const shmgr_block_info& info, const unsigned char* data,
                    FILE* err);

// Shows blocks as the reader delivers them until the count or the time is
// used up or the dump is interrupted. A channel that is removed or spoilt
// is told of on `err` and waited for (the reader is attached again), unless
// `options.once`; so is one not made yet, when `*reader` is null. A channel
// that is made again is followed from its oldest block, all of them new. 0; 1 when a JPEG could not
// be saved, the output could not be written, or the channel went with `once`.
int dump_stream(SHMGR_READER* reader, const DumpOptions& options, FILE* out, FILE* err);

// The whole program: exit status 0 done, 1 failed, 2 bad command line.
int shmgr_dump_main(int argc, char** argv, FILE* out, FILE* err);
