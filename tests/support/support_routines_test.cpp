#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/log.h"
#include "support/support_routines.h"
#include "tests/common/syslog_capture.h"

// Each row sets TZ without tzset, as main does after the C library may have
// read another zone already. No text: the buffer stays untouched.
TEST(DateTimeText, FormatsSizesAndZones) {
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
