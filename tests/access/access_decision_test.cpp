#include <string>
#include <vector>

#include "tests/access/decision_fixture.h"

namespace {

const char admitted[] = "Разрешено автоматически по списку";

// The 64-byte display text: `prefix`, then `message` cut at the field's end,
// then zeros.
std::string text_field(const std::string& prefix, const std::string& message) {
    return (prefix + message + std::string(64, '\0')).substr(0, 64);
}

class AccessDecision : public DecisionTest {
  protected:
    // The record that went out: the decision's access, its message as the
    // whole text, and `summary` (CP1251).
    void expect_passage(int access, const char* message, const std::string& summary) {
        const _parking_rec_t rec = published();
        EXPECT_EQ(rec.access, access);
        EXPECT_EQ(std::string(rec.text, 64), text_field("", cp1251(message)));
        EXPECT_EQ(std::string(rec.summary, 32), (summary + std::string(32, '\0')).substr(0, 32));
        EXPECT_EQ(field(passes().back().message), cp1251(message));
    }
};

} // namespace

// Within the period (its bounds included, compared as signed numbers) the
// car is journalled and summarised; outside it is admitted all the same,
// without either.
TEST_F(AccessDecision, PeriodDecidesOccupancyNotAdmission) {
    const int32_t from = passage_time - 10, to = passage_time + 10;
    // Each car its own owner, named like the car, so no count refuses one.
    load_base({access_record("A1", "A1", "", from, to), access_record("A2", "A2", "", from, to),
               access_record("A3", "A3", "", from, to), access_record("A4", "A4", "", from, to),
               access_record("A5", "A5", "", -100, to)});
    const struct {
        const char* number;
        long time;
        bool journalled;
    } rows[] = {
        {"A1", from - 1, false}, {"A2", from, true},         {"A3", to, true},
        {"A4", to + 1, false},   {"A5", passage_time, true},
    };
    size_t journal_size = 0;
    for (const auto& row : rows) {
        decide(row.time, row.number);
        const std::string number = row.number;
        expect_passage(1, admitted, row.journalled ? number + cp1251(": въезд (0+1)") : "");
        expect_barrier_events(1);
        EXPECT_EQ(field(passes().back().info), row.journalled ? number : "") << number;
        journal_size += row.journalled ? 1 : 0;
        EXPECT_EQ(occupancy().size(), journal_size) << number;
    }
}

// The message follows the text's first `}` to the field's end; a `}` in the
// last byte leaves no room; a text without `}` is replaced. The pass journal
// keeps the message whole whatever the text left of it.
TEST_F(AccessDecision, MessageTakesThePlaceAfterTheFirstBrace) {
    const std::string long_text = std::string(40, 'x') + "}";
    const std::string full_text = std::string(63, 'y') + "}";
    load_base({access_record("T1", "", "Gate}"), access_record("T2", "", "a}b}c"),
               access_record("T3", "", long_text.c_str()),
               access_record("T4", "", full_text.c_str()), access_record("T5", "", "No brace")});
    const std::string message = cp1251(admitted);
    ASSERT_GT(message.size(), 64 - long_text.size());
    const struct {
        const char* number;
        std::string text;
    } rows[] = {
        {"T1", text_field("Gate}", message)},   {"T2", text_field("a}", message)},
        {"T3", text_field(long_text, message)}, {"T4", full_text},
        {"T5", text_field("", message)},
    };
    for (const auto& row : rows) {
        decide(passage_time, row.number);
        EXPECT_EQ(std::string(published().text, 64), row.text) << row.number;
        EXPECT_EQ(field(passes().back().message), message) << row.number;
    }
}

// Only the first record in file order decides, also when a later one would
// refuse the car.
TEST_F(AccessDecision, FirstMatchingRecordDecides) {
    load_base({access_record("A1????", "First,0", "one}"),
               access_record("A?????", "Second,1,00:01", "two}")});
    decide(passage_time, "A10001");
    decide(passage_time, "A20001");
    decide(passage_time + 3600, "A10001", -1);
    const _parking_rec_t first = published(), second = published(), leaving = published();
    EXPECT_EQ(field(first.text), "one}" + cp1251(admitted));
    EXPECT_EQ(field(first.summary), cp1251("First: въезд (0+1)"));
    EXPECT_EQ(field(second.text), "two}" + cp1251(admitted));
    EXPECT_EQ(leaving.access, -1);
    EXPECT_EQ(field(passes()[0].info), "First,0");
}
