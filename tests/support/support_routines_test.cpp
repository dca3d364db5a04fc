#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/support_routines.h"
#include "tests/support/scratch_dir.h"

TEST(FilePrintf, AppendsInOrderAndReportsWhatDidNotLand) {
    const std::string dir = scratch_dir("support");
    const std::string path = dir + "/journal.csv";
    remove(path.c_str());
    EXPECT_EQ(file_printf((dir + "/absent/passbase.csv").c_str(), "%s\n", "line"), -1);
    EXPECT_NE(access((dir + "/absent").c_str(), F_OK), 0);
    EXPECT_EQ(file_printf(path.c_str(), "%s;%d\n", "first", 1), 0);
    EXPECT_EQ(file_printf(path.c_str(), "%s;%d\n", "second", 2), 0);
    EXPECT_EQ(read_text_file(path), "first;1\nsecond;2\n");
    // A full disc takes the open but not the text.
    EXPECT_EQ(file_printf("/dev/full", "%s\n", "lost"), -1);
}

// Each row sets TZ without tzset, as main does after the C library may have
// read another zone already. No text: the buffer stays untouched. No time:
// the current one.
TEST(DateTimeText, FormatsSizesZonesAndNow) {
    const char csv[] = "%d-%m-%Y;%H:%M:%S";
    const struct {
        const char* zone;
        int size;
        const char* format;
        int local;
        int32_t time;
        const char* text;
        int result;
    } rows[] = {
        {"MSK-3", 30, csv, 1, 0, "01-01-1970;03:00:00", 19},
        {"MSK-3", 30, csv, 0, 0, "01-01-1970;00:00:00", 19},
        {"UTC0", 21, csv, 1, 0, "01-01-1970;00:00:00", 19},
        {"UTC0", 20, csv, 1, 0, "", 0},
        {"UTC0", 1, csv, 1, 0, "", 0},
        {"UTC0", 0, csv, 1, 0, nullptr, 0},
        {"UTC0", -1, nullptr, 0, 0, nullptr, 0},
        {"MSK-3", 30, "", 1, 1000000000, "1000000000", 10},
        {"MSK-3", 30, nullptr, 0, 1000000000, "999989200", 9},
        {"UTC0", 5, nullptr, 1, 1000000000, "1000", 4},
    };
    for (const auto& row : rows) {
        setenv("TZ", row.zone, 1);
        char buf[32];
        memset(buf, '#', sizeof buf);
        const int result =
            get_cnv_date_time_str_ext(buf, row.size, row.format, row.local, &row.time);
        EXPECT_EQ(result, row.result) << row.zone << " size " << row.size;
        if (row.text != nullptr) {
            EXPECT_STREQ(buf, row.text) << row.zone << " size " << row.size;
        }
        EXPECT_EQ(buf[row.size > 0 ? row.size : 0], '#') << "size " << row.size;
    }
    char buf[30];
    const long before = static_cast<long>(time(nullptr));
    get_cnv_date_time_str_ext(buf, sizeof buf, nullptr, 1, nullptr);
    EXPECT_GE(strtol(buf, nullptr, 10), before);
    EXPECT_LE(strtol(buf, nullptr, 10), static_cast<long>(time(nullptr)));
}

// 1001 ms must go to nanosleep as 1 s and 1 ms: as 1001000000 ns it is refused.
TEST(MsleepTs, SleepsAndRefusesNegativeCounts) {
    EXPECT_EQ(msleep_ts(1001), 0);
    errno = 0;
    EXPECT_EQ(msleep_ts(-1500), -1);
    EXPECT_EQ(errno, EINVAL);
}
