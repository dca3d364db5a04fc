#include <string>

#include "tests/access/decision_fixture.h"

namespace {

class DecisionOutputs : public DecisionTest, public ::testing::WithParamInterface<std::string> {};

} // namespace

// Each output the decision cannot make is lost alone: the car is still
// admitted and everything else is written. A path taken by a folder fails
// even for root.
TEST_P(DecisionOutputs, FailureLosesOnlyItsOwnOutput) {
    load_base({access_record("A123BC", "Ivanov,1")});
    const std::string broken = GetParam();
    if (broken == "net-base folder")
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s/missing", net_.c_str());
    else if (broken == "archive folder")
        remove_tree(archive_ + "/jpegdata");
    else if (broken == "stream")
        disconnect_shmgr();
    else
        mkdir((net_ + "/" + broken).c_str(), 0700);
    decide(passage_time, "A123BC");

    const bool journals = broken != "net-base folder";
    const bool archive = broken != "archive folder";
    EXPECT_EQ(occupancy().size(), journals && broken != "netnumbase.tpn" ? 1u : 0u);
    EXPECT_EQ(passes().size(), journals && broken != "netpassbase.tpn" ? 1u : 0u);
    EXPECT_EQ(pass_lines().size(), journals && broken != "netpassbase.csv" ? 1u : 0u);
    EXPECT_EQ(archived().size(), archive ? 1u : 0u);
    EXPECT_EQ(archive_lines().size(), archive ? 1u : 0u);
    EXPECT_EQ(exists(archive_ + "/jpegdata/2023-11-14_22-13-20_A123BC.jpeg"), archive);
    expect_barrier_events(1);
    ASSERT_EQ(next(), broken != "stream");
    if (broken != "stream") {
        _parking_rec_t rec;
        memcpy(&rec, data.data(), sizeof rec);
        EXPECT_EQ(rec.access, 1);
        EXPECT_EQ(field(rec.summary), cp1251("Ivanov: въезд (0+1)"));
    }
}

INSTANTIATE_TEST_SUITE_P(EachInTurn, DecisionOutputs,
                         ::testing::Values("netnumbase.tpn", "netpassbase.tpn", "netpassbase.csv",
                                           "net-base folder", "archive folder", "stream"),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name;
                             for (char c : param.param)
                                 name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });
