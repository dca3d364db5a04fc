#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "support/support_routines.h"

namespace {

const char csv_format[] = "%d-%m-%Y;%H:%M:%S";

void use_zone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

} // namespace

class DateTimeText : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* zone = getenv("TZ");
        had_zone = zone != nullptr;
        if (had_zone)
            saved_zone = zone;
        memset(buf, '#', sizeof buf);
    }
    void TearDown() override {
        if (had_zone)
            setenv("TZ", saved_zone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string text() const { return std::string(buf); }

    char buf[64];
    bool had_zone = false;
    std::string saved_zone;
};

TEST_F(DateTimeText, FormatsLocalAndUtcBreakDown) {
    const int32_t epoch = 0;
    use_zone("UTC0");
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 30, csv_format, 1, &epoch), 19);
    EXPECT_EQ(text(), "01-01-1970;00:00:00");

    use_zone("MSK-3");
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 30, csv_format, 1, &epoch), 19);
    EXPECT_EQ(text(), "01-01-1970;03:00:00");
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 30, csv_format, 0, &epoch), 19);
    EXPECT_EQ(text(), "01-01-1970;00:00:00");
}

// main sets TZ once the C library may already have read another zone; the
// journal times must still follow the zone set last.
TEST_F(DateTimeText, FollowsTheZoneSetLast) {
    const int32_t epoch = 0;
    use_zone("UTC0");
    get_cnv_date_time_str_ext(buf, 30, csv_format, 1, &epoch);
    setenv("TZ", "MSK-3", 1);
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 30, csv_format, 1, &epoch), 19);
    EXPECT_EQ(text(), "01-01-1970;03:00:00");
}

// The text may use size - 2 characters and the last byte stays NUL: 21 is
// the smallest size for 19 characters.
TEST_F(DateTimeText, BufferSizesAroundTheText) {
    const int32_t epoch = 0;
    use_zone("UTC0");
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 21, csv_format, 1, &epoch), 19);
    EXPECT_EQ(text(), "01-01-1970;00:00:00");
    EXPECT_EQ(buf[20], '\0');
    EXPECT_EQ(buf[21], '#');

    memset(buf, '#', sizeof buf);
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 20, csv_format, 1, &epoch), 0);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(buf[i], '\0') << "byte " << i;
    EXPECT_EQ(buf[20], '#');
}

TEST_F(DateTimeText, TinyBuffersGetAnEmptyTextOrNothing) {
    const int32_t epoch = 0;
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 1, csv_format, 1, &epoch), 0);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], '#');

    memset(buf, '#', sizeof buf);
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 0, csv_format, 1, &epoch), 0);
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, -5, nullptr, 0, &epoch), 0);
    EXPECT_EQ(buf[0], '#');
}

// Without a format the seconds are printed; for UTC they are the UTC fields
// read back as local standard time, three hours less in Moscow.
TEST_F(DateTimeText, SecondsWithoutAFormat) {
    const int32_t when = 1000000000;
    use_zone("MSK-3");
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 30, "", 1, &when), 10);
    EXPECT_EQ(text(), "1000000000");
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 30, nullptr, 0, &when), 9);
    EXPECT_EQ(text(), "999989200");

    use_zone("UTC0");
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 30, nullptr, 0, &when), 10);
    EXPECT_EQ(text(), "1000000000");
}

// A number that does not fit keeps its leading digits, and the result counts
// only what is in the buffer.
TEST_F(DateTimeText, SecondsCutToTheBuffer) {
    const int32_t when = 1000000000;
    EXPECT_EQ(get_cnv_date_time_str_ext(buf, 5, nullptr, 1, &when), 4);
    EXPECT_EQ(text(), "1000");
    EXPECT_EQ(buf[5], '#');
}

TEST_F(DateTimeText, NullTimeTakesTheCurrentTime) {
    const long before = static_cast<long>(time(nullptr));
    const int length = get_cnv_date_time_str_ext(buf, 30, nullptr, 1, nullptr);
    const long after = static_cast<long>(time(nullptr));
    ASSERT_GT(length, 0);
    const long printed = strtol(buf, nullptr, 10);
    EXPECT_GE(printed, before);
    EXPECT_LE(printed, after);
}
