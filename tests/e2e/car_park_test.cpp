#include <algorithm>
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
     "12 stop\n",
     {"--direction", "in"},
     {{"net-base/netnumbase.tpn", JOURNAL}}},
    {RUN,
     "exit",
     inputs::streams_ini(false),
     "UTC0\n",
     ACCESS,
     "0 empty\n2 car C003CC 77\n3 empty\n10 car D004DD 77\n11 empty\n12 stop\n",
     {"--direction", "out"},
     {}},
});

TEST_F(Boards, EntryAndExitShareTheJournalsForPlacesAndParkingTime) {
    const std::string net_base = run_folder(RUN) + "/net-base";
    // Columns 3 to 7 of each line: number, kind, in_list, access, message.
    // The two boards' passages interleave as their clocks fall, so they are
    // compared in order of number and access.
    std::vector<std::vector<std::string>> expected = {
        {"A001AA77", "0", "1", "1", inputs::ADMITTED},
        {"A002AA77", "0", "1", "0", "Запрещено, все места (1) заняты"},
        {"C003CC77", "0", "1", "0", "Запрещено, время стоянки > 1:00"},
        {"D004DD77", "0", "1", "-1", inputs::ADMITTED},
        {"D004DD77", "0", "1", "1", inputs::ADMITTED},
    };
    const std::vector<_netpass_rec_t> passes = netpass_records(net_base);
    std::vector<std::vector<std::string>> lines, records;
    for (const std::string& line : cp1251_lines(net_base + "/netpassbase.csv")) {
        const std::vector<std::string> columns = columns_of(line);
        ASSERT_EQ(columns.size(), 10u) << line;
        lines.emplace_back(columns.begin() + 2, columns.begin() + 7);
    }
    for (const _netpass_rec_t& rec : passes)
        records.push_back({rec.number, std::to_string(rec.kind), std::to_string(rec.in_list),
                           std::to_string(rec.access), field_text(rec.message, 64)});
    std::sort(lines.begin(), lines.end());
    std::sort(records.begin(), records.end());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(records, expected);

    const std::vector<_netnum_rec_t> inside = netnum_records(net_base);
    ASSERT_EQ(inside.size(), 3u) << "a refused entry leaves no record";
    const _netnum_rec_t* overstayed = find(inside, "C003CC77");
    const _netnum_rec_t* entered = find(inside, "A001AA77");
    const _netnum_rec_t* passed = find(inside, "D004DD77");
    ASSERT_TRUE(overstayed && entered && passed);
    EXPECT_EQ(memcmp(overstayed, JOURNAL.data(), sizeof *overstayed), 0) << "refused exit";
    EXPECT_EQ(entered->places, 1);
    EXPECT_NE(entered->in_time, 0);
    EXPECT_STREQ(passed->owner, "Orlov");
    EXPECT_EQ(passed->places, 0);
    EXPECT_GT(passed->in_time, 0);
    EXPECT_GE(passed->out_time, passed->in_time);
    // Each time stamp is its passage's.
    for (const _netpass_rec_t& rec : passes) {
        const _netnum_rec_t* car = find(inside, rec.number);
        if (rec.access != 0 && car != nullptr) {
            EXPECT_EQ(rec.access == 1 ? car->in_time : car->out_time, rec.time) << rec.number;
        }
    }
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
