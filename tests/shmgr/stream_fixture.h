// A stream of the test's own: SHMGR_PREFIX names shared memory that no other
// test or board uses, removed again when the test ends. A reader follows
// channel 0 from the start.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/shmgr/shmgr.h"
#include "platform/shmgr/shmgr_reader.h"

class StreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static int serial = 0;
        char prefix[64];
        snprintf(prefix, sizeof prefix, "/dravel-test-%d-%d", static_cast<int>(getpid()), ++serial);
        setenv("SHMGR_PREFIX", prefix, 1);
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
