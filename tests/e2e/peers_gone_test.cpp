#include <algorithm>

#include "tests/e2e/boards.h"

namespace {

const char RUN[] = "peers-gone";

// The state manager crashes and comes back while the service runs; the next
// signal report (a video loss) cannot reach it. Under Restart=on-failure the
// service comes up again on the new state manager. Later the stream's shared
// memory is removed under the running service.
const RegisterBoards boards({
    {RUN,
     "entry",
     inputs::streams_ini(false, "[disc0]\nON = 1\nmountpoint = /mnt/disc0\n"),
     "",
     inputs::access_csv({"A111AA77,,,,", "B222BB77,,,,", "C333CC77,,,,"}),
     "0 empty\n"
     "1 car A111AA 77\n"
     "3 empty\n"
     "4 restart-statemgrd\n"
     "5 loss ETIME 1\n"
     "12 car B222BB 77\n"
     "14 empty\n"
     "15 remove-stream\n"
     "17 car C333CC 77\n"
     "19 empty\n"
     "20 stop\n",
     {"--direction", "in", "--restart", "on-failure", "--stream", "passages"},
     {}},
});

std::vector<std::string> numbers_of(const std::vector<_netpass_rec_t>& records) {
    std::vector<std::string> numbers;
    for (const _netpass_rec_t& record : records)
        numbers.push_back(field_text(record.number, sizeof record.number));
    return numbers;
}

// The failed report stops the first service with its shutdown lines and a
// failure status; the one started in its place decides the next cars.
TEST_F(Boards, AStateManagerThatWentStopsTheServiceForARestartThatLosesNoPassage) {
    BoardRun run(RUN, "entry");
    const std::vector<std::string> log = run.log();
    const auto failed = std::find(log.begin(), log.end(),
                                  "say_signal: event 'e_signal0' notify error: connection to the "
                                  "state manager lost");
    ASSERT_NE(failed, log.end());
    const auto exit_line = std::find(failed, log.end(), "main: Exit.");
    ASSERT_NE(exit_line, log.end());
    EXPECT_NE(std::find(exit_line, log.end(), "main: Start."), log.end());
    EXPECT_EQ(run.end(), "exit 0");
    EXPECT_NE(run.file("exit").find("\nrestarted after exit 1\n"), std::string::npos)
        << run.file("exit");

    const std::vector<std::string> cars = {"A111AA77", "B222BB77", "C333CC77"};
    // The net-base outlives the boards of earlier runs: this run's are last.
    const std::vector<std::string> numbers =
        numbers_of(netpass_records(run_folder(RUN) + "/net-base"));
    ASSERT_GE(numbers.size(), cars.size());
    EXPECT_EQ(std::vector<std::string>(numbers.end() - 3, numbers.end()), cars);
    EXPECT_EQ(run.passbase("mnt/disc0/" + std::string(inputs::DEVICE_ID) + "/passbase.tpp").size(),
              cars.size());
}

// A removed stream channel is made again by the next passage, and the
// reader follows it there.
TEST_F(Boards, ARemovedStreamIsMadeAgainForTheNextPassage) {
    BoardRun run(RUN, "entry");
    std::vector<std::string> published;
    for (const StreamBlock& block : run.passages())
        published.push_back(block.number);
    ASSERT_FALSE(published.empty());
    EXPECT_EQ(published.back(), "C333CC77");
}

} // namespace
