#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/config.h"
#include "support/gv.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/syslog_capture.h"

// Each test starts with the settings as main leaves them before reading the
// file, and a configuration folder of its own in VELM_CONF_DIR.
class Config : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch_dir("core-config");
        setenv("VELM_CONF_DIR", dir.c_str(), 1);
        remove(ini().c_str());
        memset(&gv, 0, sizeof gv);
        set_recognizer_defaults();
        snprintf(gv_deviceid, sizeof gv_deviceid, "gate-7");
        gv_barrier_type = 0;
        for (char* stale : {gv_netmountpoint, gv.maindirlink, gv_mountpoints[0], gv_mountpoints[1],
                            gv_mountpoints[2]})
            snprintf(stale, sizeof gv_netmountpoint, "/stale");
        syslog_capture::clear();
    }
    std::string ini() const { return dir + "/streams.ini"; }
    std::string dir;
};

TEST_F(Config, PathsInTheConfigurationFolder) {
    EXPECT_EQ(std::string(build_conf_path("TZ")), dir + "/TZ");
    unsetenv("VELM_CONF_DIR");
    EXPECT_STREQ(build_streams_ini_path(), "/etc//streams.ini");
    // The longest path that fits leaves room for the terminator; one more
    // character would cut it, and a cut path could name an unrelated file.
    const size_t longest = sizeof _GLOBAL_CONF_FULLNAME_ - 1 - strlen("/streams.ini");
    for (size_t length : {longest, longest + 1}) {
        const std::string folder(length, 'd');
        setenv("VELM_CONF_DIR", folder.c_str(), 1);
        EXPECT_EQ(std::string(build_streams_ini_path()),
                  length == longest ? folder + "/streams.ini" : "")
            << length;
    }
}

// The engine reads the whole parameter block, padding included. The other
// defaults show in the start-up golden case's board without a file.
TEST_F(Config, WithoutTheFile) {
    memset(&gv.recognizer_params, 0xA5, sizeof gv.recognizer_params);
    set_recognizer_defaults();
    EXPECT_EQ(get_mountpoints(), 0);
    EXPECT_STREQ(gv_mountpoints[2], "/stale");
    build_conf_path("TZ"); // every reader builds its path anew
    EXPECT_EQ(load_config(), 0);
    RecognizerParams expected = {};
    expected.average_plate_width = 17.0;
    EXPECT_EQ(memcmp(&gv.recognizer_params, &expected, sizeof expected), 0);
}

TEST_F(Config, EveryKeyRead) {
    write_text_file(ini(), "[common]\ndeviceid = gate-3\n[savermgr]\nmaindirlink = /mnt/main\n"
                           "[dravel_parking]\nexternal_program = /usr/bin/notify\n"
                           "[recognizer]\naverage_plate_width = 21.5\nextra_sensitivity = 1.5\n"
                           "eliminate_geometry = 7\nrecogn_single = 1\n"
                           "[disc0]\nON = 1\nmountpoint = /mnt/disc0\n"
                           "[disc1]\nON = 0\nmountpoint = /mnt/disc1\n"
                           "[usbdisc]\nON = on\nmountpoint = /mnt/usb\n");
    read_startup_settings();
    EXPECT_STREQ(gv_deviceid, "gate-3");
    EXPECT_STREQ(gv.maindirlink, "/mnt/main");
    EXPECT_STREQ(gv.external_program, "/usr/bin/notify");

    EXPECT_EQ(load_config(), 1);
    EXPECT_EQ(syslog_capture::all(),
              (std::vector<std::string>{"load_config: Average plate width: 21.5",
                                        "load_config: Extra sensitivity: 1.5",
                                        "load_config: Eliminate geometry: true",
                                        "load_config: Recognize: each single frame"}));

    // A storage switched off, or whose "ON" is not a number, is emptied.
    EXPECT_EQ(get_mountpoints(), 0);
    EXPECT_EQ(std::string(gv_mountpoints[0]) + "|" + gv_mountpoints[1] + "|" + gv_mountpoints[2],
              "/mnt/disc0||");
}

// Only the exact word "in" makes an entry barrier. Local storage is the
// default, and then the journals follow the main folder link, even an empty one.
TEST_F(Config, BarrierTypeAndNetBaseFolder) {
    const struct {
        const char* text;
        int barrier;
        const char* netbase;
    } rows[] = {
        {"[barrier]\nbarrier_type = in\r\n", 1, ""},
        {"[barrier]\nbarrier_type = IN\n", -1, ""},
        {"[barrier]\nbarrier_type = \"in \"\n", -1, ""},
        {"[savermgr]\nmaindirlink = /mnt/main\n[net_base]\nmountdir = /mnt/net\n", -1, "/mnt/main"},
        {"[savermgr]\nmaindirlink = /m\n[net_base]\nuse_local_storage = x\n", -1, "/m"},
        {"[net_base]\nuse_local_storage = 0\nmountdir = /mnt/net\n", -1, "/mnt/net"},
        {"[net_base]\nuse_local_storage = 0\n", -1, "/mnt/usb/"},
    };
    for (const auto& row : rows) {
        write_text_file(ini(), row.text);
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "/stale");
        read_startup_settings();
        EXPECT_EQ(gv_barrier_type, row.barrier) << row.text;
        EXPECT_STREQ(gv_netmountpoint, row.netbase) << row.text;
    }
}
