#include <cstring>

#include "tests/e2e/boards.h"

namespace {

const char RUN[] = "startup";

const RegisterBoards boards({
    {RUN,
     "no-camera",
     inputs::streams_ini(false),
     "",
     "",
     "0 open-fail video ENODEV\n",
     {"--duration", "20"},
     {}},
    {RUN,
     "no-stream",
     inputs::streams_ini(false),
     "",
     "",
     "0 empty\n",
     {"--duration", "20", "--fail", "shmgr"},
     {}},
    {RUN,
     "no-statemgr",
     inputs::streams_ini(false),
     "",
     "",
     "0 empty\n",
     {"--duration", "20", "--fail", "statemgr"},
     {}},
    // No streams.ini: an entry barrier with its journals in /mnt/usb/, in
    // the zone three hours east of UTC that the TZ file names.
    {RUN,
     "defaults",
     "",
     "XYZ-3\n",
     inputs::access_csv({"A123BC77,,,,"}),
     "0 empty\n1 car A123BC 77\n2.5 empty\n3.5 stop\n",
     {},
     {}},
    {RUN, "detached", "", "", "", "0 empty\n2 stop\n", {"--detach"}, {}},
});

std::string text_of(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

TEST_F(Boards, EachMandatoryStartUpFailureEndsWithStatusOneAndItsMessage) {
    const struct {
        const char* board;
        const char* message;
    } cases[] = {{"no-camera", "main: Unable open video grabber"},
                 {"no-stream", "main: Can't connect to shmgr"},
                 {"no-statemgr", "main: Can't connect to statemgr"}};
    for (const auto& c : cases) {
        BoardRun run(RUN, c.board);
        EXPECT_EQ(run.end(), "exit 1") << c.board;
        const std::vector<std::string> log = run.log();
        ASSERT_FALSE(log.empty()) << c.board;
        EXPECT_EQ(log.front(), "main: Start.") << c.board;
        EXPECT_EQ(log.back(), c.message) << c.board;
    }
}

TEST_F(Boards, WithoutConfigurationTheServiceRunsOnItsDefaultsInTheZoneOfItsTzFile) {
    BoardRun run(RUN, "defaults");
    EXPECT_EQ(run.end(), "exit 0");
    EXPECT_EQ(
        run.log_starting("load_config: Can not open "),
        std::vector<std::string>{"load_config: Can not open " + run.path("etc") + "/streams.ini"});
    // The board mounts its net-base folder where the service's defaults put
    // it, /mnt/usb/.
    const std::string journals = run_folder(RUN) + "/net-base";
    const std::vector<_netpass_rec_t> records = netpass_records(journals);
    ASSERT_EQ(records.size(), 1u);
    const _netpass_rec_t& rec = records[0];
    EXPECT_EQ(text_of(rec.number, sizeof rec.number), "A123BC77");
    EXPECT_EQ(rec.kind, 0);
    EXPECT_EQ(rec.in_list, 1);
    EXPECT_EQ(rec.access, 1);
    EXPECT_EQ(field_text(rec.message, sizeof rec.message), inputs::ADMITTED);
    EXPECT_EQ(text_of(rec.deviceid, sizeof rec.deviceid), "unknown");
    EXPECT_EQ(cp1251_lines(journals + "/netpassbase.csv"),
              std::vector<std::string>{local_date_time(rec.time, 3) + ";A123BC77;0;1;1;" +
                                       inputs::ADMITTED + ";" + text_of(rec.info, 32) +
                                       ";0;unknown"});
    EXPECT_EQ(run.events_named("e_access_grntd").size(), 1u);
}

// As on the board, the starting process ends with the low byte of the
// detached service's process id.
TEST_F(Boards, DetachingLeavesTheLowByteOfTheServicesPidAsTheStartersExitStatus) {
    BoardRun run(RUN, "detached");
    int parent = -1, service = -1;
    ASSERT_EQ(sscanf(run.file("exit").c_str(), "exit 0\nparent exit %d\nservice pid %d", &parent,
                     &service),
              2)
        << run.file("exit");
    EXPECT_EQ(parent, service & 0xff);
    const std::vector<std::string> log = run.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "main: Exit.");
    EXPECT_NE(run.file("log").find("dravel[" + std::to_string(service) + "]: main: Exit."),
              std::string::npos);
}

} // namespace
