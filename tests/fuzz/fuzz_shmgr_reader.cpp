// A reader takes whatever another process left in shared memory. Whatever
// the headers hold, a read must copy within the block and the caller's
// buffer, and must return.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/shmgr/shmgr_layout.h"
#include "platform/shmgr/shmgr_reader.h"

namespace {

void remove_channel() {
    shmgrRemoveChannel(0);
}

shmgr::Channel* fuzzed_channel() {
    char prefix[64];
    snprintf(prefix, sizeof prefix, "/dravel-fuzz-%d", static_cast<int>(getpid()));
    setenv("SHMGR_PREFIX", prefix, 1);
    atexit(remove_channel);
    shmgr::Mapping mapping;
    return shmgr::map_channel(0, true, &mapping) == 0 ? mapping.channel : nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static shmgr::Channel* channel = fuzzed_channel();
    static unsigned char copy[SHMGR_BLOCK_SIZE];
    if (channel == nullptr || size < 1) {
        return 0;
    }
    memset(&channel->header, 0, sizeof channel->header);
    SHMGR_READER reader = nullptr;
    if (shmgrReaderAttach(0, &reader) != 1) {
        return 0;
    }
    // The first byte chooses how much room the caller gives; the rest are
    // the channel's header and then the blocks' headers.
    int capacity = bytes[0] * 257;
    ++bytes;
    --size;
    size_t part = size < sizeof channel->header ? size : sizeof channel->header;
    memcpy(&channel->header, bytes, part);
    for (int slot = 0; slot < SHMGR_RING_BLOCKS && size > part; ++slot) {
        bytes += part;
        size -= part;
        part = size < sizeof(shmgr::BlockHeader) ? size : sizeof(shmgr::BlockHeader);
        memcpy(&channel->blocks[slot].header, bytes, part);
    }
    shmgr_block_info info;
    for (int read = 0; read < 2 * SHMGR_RING_BLOCKS; ++read) {
        if (shmgrReaderNext(reader, &info, copy, capacity, 0) != 1) {
            break;
        }
    }
    shmgrReaderDetach(&reader);
    return 0;
}
