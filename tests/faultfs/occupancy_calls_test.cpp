// The calls a decision makes on the occupancy journal, which over a network
// mount are what costs: one pass of reads, and one open unless access is
// refused.
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/records.h"
#include "tests/common/syslog_capture.h"
#include "tests/faultfs/preload/faultfs.h"
#include "tests/faultfs/storage_world.h"

namespace {

const long T0 = 1237010709;

class OccupancyCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        world.create("faultfs-occupancy-calls");
        journal = world.net + "/" + gv_netnumbase;
    }
    void TearDown() override { faultfs_off(); }

    StorageWorld world;
    std::string journal;
};

// Finding the car and counting its owner's places share one pass.
TEST_F(OccupancyCalls, ADecisionReadsTheJournalOnce) {
    // Three 256 KiB reads' worth of other owners' cars, the car's own record last.
    std::vector<_netnum_rec_t> records(14000, netnum_record("N1", "Other", 1, 1));
    records.back() = netnum_record(OWNER_CAR, "", 1, 1);
    write_text_file(journal, bytes_of(records));

    ASSERT_TRUE(faultfs_configure(-1, 0, 0, journal.c_str(), false));
    passage(T0, OWNER_CAR, 1);
    const long reads = faultfs_count(FAULTFS_READ) + faultfs_count(FAULTFS_FREAD);
    // Reads of at most 256 KiB, and the one that finds the end.
    const long one_pass = static_cast<long>(records.size() * sizeof records[0]) / 262144 + 2;
    EXPECT_GE(reads, one_pass - 1);
    EXPECT_LE(reads, one_pass);
}

// A refused access is told apart as it always was (the journal may only be
// appended to, so it was created but not opened for reading); any other
// failure, which a second open would only meet again, costs one open.
TEST_F(OccupancyCalls, AFailedOpenIsTriedAgainOnlyWhenRefused) {
    struct Case {
        int error;
        long opens;
        const char* logged;
    };
    for (const Case& c : {Case{EACCES, 2, "test_recognized_number: Can't reopen file "},
                          Case{EIO, 1, "test_recognized_number: Can't open file "}}) {
        ASSERT_TRUE(faultfs_configure(FAULTFS_OPEN, 1, c.error, journal.c_str(), false));
        syslog_capture::clear();
        passage(T0, OWNER_CAR, 1);
        EXPECT_EQ(faultfs_count(FAULTFS_OPEN), c.opens) << c.error;
        EXPECT_EQ(syslog_capture::matching(journal),
                  std::vector<std::string>{c.logged + journal + "\n"});
    }
}

} // namespace
