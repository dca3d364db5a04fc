#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "core/startup.h"
#include "tests/common/files.h"

// TZ is the file's first line without its line end, and the local-time
// conversions follow it though they had read the zone before. No file, no TZ.
TEST(TimeZone, FirstLineWithoutItsLineEnd) {
    const std::string dir = scratch_dir("core-tz");
    setenv("VELM_CONF_DIR", dir.c_str(), 1);
    const struct {
        const char* file;
        const char* zone;
        int hour;
    } cases[] = {{"UTC-3\n", "UTC-3", 3},
                 {"UTC-5\r\n", "UTC-5", 5},
                 {"UTC-7", "UTC-7", 7},
                 {"UTC-2\nUTC-9\n", "UTC-2", 2},
                 {"", "", 0},
                 {nullptr, nullptr, 0}};
    for (const auto& c : cases) {
        unsetenv("TZ");
        const time_t epoch = 0;
        struct tm parts;
        localtime_r(&epoch, &parts);
        if (c.file != nullptr)
            write_text_file(dir + "/TZ", c.file);
        else
            remove((dir + "/TZ").c_str());
        set_time_zone();
        EXPECT_STREQ(getenv("TZ"), c.zone);
        localtime_r(&epoch, &parts);
        EXPECT_EQ(parts.tm_hour, c.hour) << c.hour;
    }
    tzset();
}
