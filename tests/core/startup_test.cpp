#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/startup.h"
#include "tests/support/scratch_dir.h"

namespace {

class TimeZone : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch_dir("core-tz");
        setenv("VELM_CONF_DIR", dir.c_str(), 1);
        unsetenv("TZ");
        remove((dir + "/TZ").c_str());
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
    std::string dir;
};

int local_hour_at_epoch() {
    const time_t epoch = 0;
    struct tm parts;
    localtime_r(&epoch, &parts);
    return parts.tm_hour;
}

} // namespace

// TZ is the file's first line without its line end, and the local-time
// conversions follow it even when they had read the zone before.
TEST_F(TimeZone, FirstLineWithoutItsLineEnd) {
    struct Case {
        const char* file;
        const char* zone;
        int hour;
    } cases[] = {{"UTC-3\n", "UTC-3", 3},
                 {"UTC-5\r\n", "UTC-5", 5},
                 {"UTC-7", "UTC-7", 7},
                 {"UTC-2\nUTC-9\n", "UTC-2", 2},
                 {"", "", 0}};
    for (const Case& c : cases) {
        local_hour_at_epoch();
        write_text_file(dir + "/TZ", c.file);
        set_time_zone();
        ASSERT_NE(getenv("TZ"), nullptr);
        EXPECT_STREQ(getenv("TZ"), c.zone);
        EXPECT_EQ(local_hour_at_epoch(), c.hour) << c.zone;
    }
}

TEST_F(TimeZone, NoFileSetsNothing) {
    set_time_zone();
    EXPECT_EQ(getenv("TZ"), nullptr);
}

// The parent ends at once with the child's process id as its exit status;
// the child leads a session of its own with /dev/null as its standard
// descriptors.
TEST(Daemonize, ParentExitsWithTheChildsIdAndTheChildDetaches) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t parent = fork();
    if (parent == 0) {
        close(report[0]);
        if (DAEMONIZE() == 0) {
            struct stat null_device, out;
            stat("/dev/null", &null_device);
            fstat(1, &out);
            const int detached[] = {static_cast<int>(getpid()),
                                    getsid(0) == getpid() && out.st_rdev == null_device.st_rdev};
            if (write(report[1], detached, sizeof detached) != sizeof detached)
                _exit(1);
        }
        _exit(0);
    }
    close(report[1]);
    int status = 0;
    waitpid(parent, &status, 0);
    int detached[2] = {};
    ASSERT_EQ(read(report[0], detached, sizeof detached), static_cast<ssize_t>(sizeof detached));
    close(report[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), detached[0] & 0xFF);
    EXPECT_EQ(detached[1], 1);
}
