// A stream of the test's own: SHMGR_PREFIX names shared memory that no other
// test or board uses, removed again when the test ends. A reader follows
// channel 0 from the start.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/shmgr/shmgr.h"
#include "platform/shmgr/shmgr_layout.h"
#include "platform/shmgr/shmgr_reader.h"
#include "tests/common/records.h"

// An admitted passage at an exit barrier, with CP1251 texts; `text` fills
// its field without a terminator.
inline _parking_rec_t exit_record() {
    // "в" to the text's last byte.
    return parking_record(1700000000, "A123BC77", 1, -1, std::string(64, '\xE2'),
                          "\xC8\xE2\xE0\xED\xEE\xE2: \xE2\xFA\xE5\xE7\xE4 (0+1)");
}

class StreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static int serial = 0;
        char prefix[64];
        snprintf(prefix, sizeof prefix, "/dravel-test-%d-%d", static_cast<int>(getpid()), ++serial);
        setenv("SHMGR_PREFIX", prefix, 1);
        // As a writer makes it: a reader never does.
        shmgr::Mapping made;
        ASSERT_EQ(shmgr::map_channel(0, true, &made), 0);
        shmgr::unmap_channel(&made);
        ASSERT_EQ(shmgrReaderAttach(0, &reader), 1);
    }
    void TearDown() override {
        shmgrReaderDetach(&reader);
        for (int channel = 0; channel < SHMGR_MAX_CHANNELS; ++channel) {
            shmgrRemoveChannel(channel);
        }
        unsetenv("SHMGR_PREFIX");
    }
    // The next block published on channel 0 into `info` and `data`, without
    // waiting.
    bool next() { return shmgrReaderNext(reader, &info, data.data(), SHMGR_BLOCK_SIZE, 0) == 1; }

    SHMGR_READER reader = nullptr;
    shmgr_block_info info{};
    std::vector<unsigned char> data = std::vector<unsigned char>(SHMGR_BLOCK_SIZE);
};
