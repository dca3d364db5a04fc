#include <cstdio>
#include <cstring>
#include <ctime>

#include "tests/e2e/boards.h"

namespace {

const char RUN[] = "park";
const int STAYED = 7200; // how long the car that overstays has been inside

const std::string ACCESS = inputs::access_csv({"A001AA77,Petrov,1,,", "A002AA77,Petrov,1,,",
                                               "C003CC77,Sidorov,0,1:00,", "D004DD77,Orlov,,,"});

// The occupancy journal as the boards find it: C003CC77 entered two hours ago.
std::string inside_for_two_hours() {
    _netnum_rec_t rec;
    memset(&rec, 0, sizeof rec);
    snprintf(rec.number, sizeof rec.number, "C003CC77");
    snprintf(rec.owner, sizeof rec.owner, "Sidorov");
    rec.places = 1;
    rec.in_time = static_cast<int32_t>(time(nullptr)) - STAYED;
    return std::string(reinterpret_cast<const char*>(&rec), sizeof rec);
}

const _netnum_rec_t* find(const std::vector<_netnum_rec_t>& records, const char* number) {
    for (const auto& rec : records)
        if (strcmp(rec.number, number) == 0)
            return &rec;
    return nullptr;
}

const std::string JOURNAL = inside_for_two_hours();

// The entry and the exit barrier share their net-base folder.
const RegisterBoards boards({
    {RUN,
     "entry",
     inputs::streams_ini(false),
     "UTC0\n",
     ACCESS,
     "0 empty\n1 car A001AA 77\n2 empty\n3 car A002AA 77\n4 empty\n5 car D004DD 77\n6 empty\n"
     "10 stop\n",
     {"--direction", "in"},
     {{"net-base/netnumbase.tpn", JOURNAL}}},
    {RUN,
     "exit",
     inputs::streams_ini(false),
     "UTC0\n",
     ACCESS,
     "0 empty\n2 car C003CC 77\n3 empty\n7.5 car D004DD 77\n8.5 empty\n10 stop\n",
     {"--direction", "out"},
     {}},
});

TEST_F(Boards, EntryAndExitShareTheJournalsForPlacesAndParkingTime) {
    const std::string net_base = run_folder(RUN) + "/net-base";
    const struct {
        const char* number;
        int access;
        std::string message;
    } expected[] = {
        {"A001AA77", 1, inputs::ADMITTED},
        {"C003CC77", 0, "Запрещено, время стоянки > 1:00"},
        {"A002AA77", 0, "Запрещено, все места (1) заняты"},
        {"D004DD77", 1, inputs::ADMITTED},
        {"D004DD77", -1, inputs::ADMITTED},
    };
    const std::vector<_netpass_rec_t> passes = netpass_records(net_base);
    const std::vector<std::string> lines = cp1251_lines(net_base + "/netpassbase.csv");
    ASSERT_EQ(passes.size(), 5u);
    ASSERT_EQ(lines.size(), 5u);
    for (size_t i = 0; i < passes.size(); ++i) {
        const _netpass_rec_t& rec = passes[i];
        EXPECT_STREQ(rec.number, expected[i].number) << i;
        EXPECT_EQ(rec.access, expected[i].access) << i;
        EXPECT_EQ(field_text(rec.message, sizeof rec.message), expected[i].message) << i;
        const std::vector<std::string> columns = columns_of(lines[i]);
        ASSERT_EQ(columns.size(), 10u) << lines[i];
        EXPECT_EQ(
            std::vector<std::string>(columns.begin() + 2, columns.begin() + 7),
            (std::vector<std::string>{expected[i].number, "0", "1",
                                      std::to_string(expected[i].access), expected[i].message}));
    }

    const std::vector<_netnum_rec_t> inside = netnum_records(net_base);
    ASSERT_EQ(inside.size(), 3u) << "a refused entry leaves no record";
    const _netnum_rec_t* overstayed = find(inside, "C003CC77");
    const _netnum_rec_t* entered = find(inside, "A001AA77");
    const _netnum_rec_t* passed = find(inside, "D004DD77");
    ASSERT_TRUE(overstayed && entered && passed);
    EXPECT_EQ(memcmp(overstayed, JOURNAL.data(), sizeof *overstayed), 0) << "refused exit";
    EXPECT_EQ(entered->places, 1);
    EXPECT_EQ(entered->in_time, passes[0].time);
    EXPECT_STREQ(passed->owner, "Orlov");
    EXPECT_EQ(passed->places, 0);
    EXPECT_EQ(passed->in_time, passes[3].time);
    EXPECT_EQ(passed->out_time, passes[4].time);
}

TEST_F(Boards, EachBoardRaisesTheBarrierForItsAdmittedCarsAndShowsTheOwnersPlaces) {
    const struct {
        const char* board;
        size_t barriers;
        std::vector<std::string> summaries;
    } boards[] = {
        {"entry", 2, {"Petrov: въезд (0+1)", "Petrov: въезд (1+1)", "Orlov: въезд (0+1)"}},
        {"exit", 1, {"Sidorov: выезд (0-1)", "Orlov: выезд (0-1)"}},
    };
    for (const auto& b : boards) {
        BoardRun run(RUN, b.board);
        EXPECT_EQ(run.events_named("e_access_grntd").size(), b.barriers) << b.board;
        std::vector<std::string> summaries;
        for (const StreamBlock& block : run.passages())
            summaries.push_back(block.summary);
        EXPECT_EQ(summaries, b.summaries) << b.board;
    }
}

} // namespace
