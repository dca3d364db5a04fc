#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/log.h"
#include "support/support_routines.h"
#include "tests/common/syslog_capture.h"
#include "tests/common/files.h"

TEST(FilePrintf, AppendsInOrderAndReportsWhatDidNotLand) {
    const std::string dir = scratch_dir("support");
    const std::string path = dir + "/journal.csv";
    remove(path.c_str());
    EXPECT_EQ(file_printf((dir + "/absent/passbase.csv").c_str(), "%s\n", "line"), -1);
    EXPECT_NE(access((dir + "/absent").c_str(), F_OK), 0);
    EXPECT_EQ(file_printf(path.c_str(), "%s;%d\n", "first", 1), 0);
    EXPECT_EQ(file_printf(path.c_str(), "%s;%d\n", "second", 2), 0);
    EXPECT_EQ(file_printf(path.c_str(), "%s", ""), 0); // nothing to add is no failure
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
        {"UTC0", 10, nullptr, 1, 1000000000, "100000000", 9},
        {"UTC0", 2, nullptr, 1, 1000000000, "1", 1},
        {"UTC0", 2, csv, 1, 0, "", 0},
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
        // A formatted text leaves the rest of the buffer NUL.
        for (int i = row.text != nullptr ? static_cast<int>(strlen(row.text)) : 0;
             row.format != nullptr && row.format[0] != '\0' && i < row.size; ++i)
            EXPECT_EQ(buf[i], '\0') << "size " << row.size << " byte " << i;
        EXPECT_EQ(buf[row.size > 0 ? row.size : 0], '#') << "size " << row.size;
    }
    char buf[30];
    const long before = static_cast<long>(time(nullptr));
    get_cnv_date_time_str_ext(buf, sizeof buf, nullptr, 1, nullptr);
    EXPECT_GE(strtol(buf, nullptr, 10), before);
    EXPECT_LE(strtol(buf, nullptr, 10), static_cast<long>(time(nullptr)));
}

namespace {

std::vector<timespec> sleeps_asked;

long long monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

} // namespace

// Stands in for the C library's nanosleep in this program: keeps the interval
// asked for, then sleeps it.
extern "C" int nanosleep(const timespec* request, timespec* remaining) {
    sleeps_asked.push_back(*request);
    const int error = clock_nanosleep(CLOCK_REALTIME, 0, request, remaining);
    errno = error;
    return error == 0 ? 0 : -1;
}

// Whole seconds and the rest in nanoseconds, both cut toward zero: 1001 ms as
// 1001000000 ns would be refused. It sleeps at least that long (a busy
// machine may take longer); a negative count is refused without a sleep.
TEST(MsleepTs, AsksForSecondsAndNanosecondsAndSleepsThem) {
    const struct {
        int ms;
        long seconds;
        long nanoseconds;
        int result;
    } cases[] = {{1001, 1, 1000000, 0},       {10, 0, 10000000, 0}, {0, 0, 0, 0},
                 {-1500, -1, -500000000, -1}, {-1000, -1, 0, -1},   {-999, 0, -999000000, -1}};
    for (const auto& c : cases) {
        sleeps_asked.clear();
        errno = 0;
        const long long before = monotonic_ns();
        EXPECT_EQ(msleep_ts(c.ms), c.result) << c.ms;
        const long long slept = monotonic_ns() - before;
        ASSERT_EQ(sleeps_asked.size(), 1u) << c.ms;
        EXPECT_EQ(sleeps_asked[0].tv_sec, c.seconds) << c.ms;
        EXPECT_EQ(sleeps_asked[0].tv_nsec, c.nanoseconds) << c.ms;
        if (c.result == 0) {
            EXPECT_GE(slept, c.ms * 1000000LL) << c.ms;
        } else {
            EXPECT_EQ(errno, EINVAL);
        }
    }
}

// One whole line under the name given, at priority 0; the text is never read
// as a format again, and one too long for a line is cut, not dropped.
TEST(LogLine, WholeLinesAtPriorityZero) {
    syslog_capture::clear();
    log_line("file_printf", "cannot open %s: %d [%s]\n", "/mnt/x", 5, "Input/output error");
    log_line("load_config", "%s", "100%s done");
    log_line("send_zero_block", "%s", std::string(2000, 'x').c_str());
    LOG("Start.\n");
    EXPECT_EQ(syslog_capture::all(),
              (std::vector<std::string>{"file_printf: cannot open /mnt/x: 5 [Input/output error]\n",
                                        "load_config: 100%s done",
                                        "send_zero_block: " + std::string(1023, 'x'),
                                        "TestBody: Start.\n"}));
}
