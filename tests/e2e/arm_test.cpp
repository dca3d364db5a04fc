#include "tests/e2e/boards.h"

namespace {

// The board's own ARMv5 service and libraries (camera, stream, state-manager
// client, engine) under qemu-arm, with the daemons and the readers native:
// the 32-bit writer and the 64-bit readers agree on every layout.
TEST(ArmBoard, TheArmServiceDecidesPublishesAndStops) {
    const std::string arm = arm_build_folder();
    if (arm.empty())
        GTEST_SKIP() << "DRAVEL_E2E_ARM_BUILD names no ARMv5 build";
    const BoardSetup setup = {"arm",
                              "entry",
                              inputs::streams_ini(false),
                              "UTC0\n",
                              inputs::access_csv({"A123BC77,,,,"}),
                              "0 empty\n1 car A123BC 77\n3 empty\n4 photo\n6 stop\n",
                              {"--direction", "in", "--arm-build", arm},
                              {}};
    run_boards({setup});
    BoardRun run(setup.run, setup.board);
    const std::vector<_netpass_rec_t> records = netpass_records(run_folder("arm") + "/net-base");
    const std::vector<StreamBlock> passages = run.passages();
    ASSERT_EQ(records.size(), 2u);
    ASSERT_EQ(passages.size(), 2u);
    const char* numbers[] = {"A123BC77", "~~~HET~~~"};
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_STREQ(records[i].number, numbers[i]);
        EXPECT_EQ(passages[i].number, numbers[i]);
        EXPECT_EQ(passages[i].passage_time, records[i].time);
        EXPECT_EQ(passages[i].access, 1);
        EXPECT_EQ(passages[i].text, field_text(records[i].message, sizeof records[i].message));
        EXPECT_EQ(passages[i].jpeg_bytes + 116, passages[i].length);
    }
    EXPECT_EQ(run.events_named("e_signal0"), (std::vector<Event>{{"event", "e_signal0", 1}}));
    EXPECT_EQ(run.events_named("e_access_grntd").size(), 1u);
    EXPECT_EQ(run.end(), "exit 0");
    EXPECT_EQ(run.log().back(), "main: Exit.");
}

} // namespace
