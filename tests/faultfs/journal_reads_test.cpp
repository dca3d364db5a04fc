// A decision reads the occupancy journal once: finding the car and counting
// its owner's places share one pass, which over a network mount is what
// costs.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/gv.h"
#include "tests/common/files.h"
#include "tests/common/records.h"
#include "tests/faultfs/preload/faultfs.h"
#include "tests/faultfs/storage_world.h"

namespace {

TEST(OccupancyJournal, ADecisionReadsItOnce) {
    StorageWorld world;
    world.create("faultfs-journal-reads");
    // Three 64 KiB reads' worth of other owners' cars, the car's own record last.
    std::vector<_netnum_rec_t> records(3000, netnum_record("N1", "Other", 1, 1));
    records.back() = netnum_record(OWNER_CAR, "", 1, 1);
    const std::string journal = world.net + "/" + gv_netnumbase;
    write_text_file(journal, bytes_of(records));

    ASSERT_TRUE(faultfs_configure(-1, 0, 0, journal.c_str(), false));
    passage(1237010709, OWNER_CAR, 1);
    const long reads = faultfs_count(FAULTFS_READ) + faultfs_count(FAULTFS_FREAD);
    faultfs_off();
    // Reads of at most 64 KiB, and the one that finds the end.
    const long one_pass = static_cast<long>(records.size() * sizeof records[0]) / 65536 + 2;
    EXPECT_GE(reads, one_pass - 1);
    EXPECT_LE(reads, one_pass);
}

} // namespace
