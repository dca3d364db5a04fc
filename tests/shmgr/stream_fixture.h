// A stream of the test's own: SHMGR_PREFIX names a shared-memory object that
// no other test or board uses, removed again when the test ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

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
    }
    void TearDown() override {
        for (int channel = 0; channel < SHMGR_MAX_CHANNELS; ++channel) {
            shmgrRemoveChannel(channel);
        }
        unsetenv("SHMGR_PREFIX");
    }
};
