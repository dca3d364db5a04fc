#include "tests/core/config_fixture.h"

using StartupSettings = ConfigTest;

TEST_F(StartupSettings, MissingFileGivesTheDefaultsAndKeepsTheId) {
    snprintf(gv_deviceid, sizeof gv_deviceid, "gate-7");
    snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "/somewhere");
    gv_barrier_type = -1;
    snprintf(gv.maindirlink, sizeof gv.maindirlink, "/old/main");
    snprintf(gv.external_program, sizeof gv.external_program, "/old/program");

    read_startup_settings();
    get_deviceid();

    EXPECT_STREQ(gv_deviceid, "gate-7");
    EXPECT_STREQ(gv_netmountpoint, "/mnt/usb/");
    EXPECT_EQ(gv_barrier_type, 1);
    EXPECT_STREQ(gv.maindirlink, "");
    EXPECT_STREQ(gv.external_program, "");
    EXPECT_TRUE(syslog_capture::lines().empty());
}

TEST_F(StartupSettings, ReadsEveryKey) {
    write_ini("[common]\n"
              "deviceid = gate-3\n"
              "[savermgr]\n"
              "maindirlink = /mnt/main\n"
              "[net_base]\n"
              "use_local_storage = 0\n"
              "mountdir = /mnt/net\n"
              "[barrier]\n"
              "barrier_type = in\n"
              "[dravel_parking]\n"
              "external_program = /usr/bin/notify\n");
    gv_barrier_type = -1;
    read_startup_settings();
    EXPECT_STREQ(gv_deviceid, "gate-3");
    EXPECT_STREQ(gv.maindirlink, "/mnt/main");
    EXPECT_STREQ(gv_netmountpoint, "/mnt/net");
    EXPECT_EQ(gv_barrier_type, 1);
    EXPECT_STREQ(gv.external_program, "/usr/bin/notify");
}

// Only the exact word "in" makes an entry barrier; a file without the key
// is an exit barrier, unlike a file that cannot be opened.
TEST_F(StartupSettings, BarrierType) {
    const struct {
        const char* line;
        int expected;
    } cases[] = {
        {"barrier_type = in\n", 1},
        {"barrier_type=in\r\n", 1},
        {"barrier_type = IN\n", -1},
        {"barrier_type = \"in \"\n", -1},
        {"barrier_type = inside\n", -1},
        {"barrier_type = out\n", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        write_ini(std::string("[barrier]\n") + c.line);
        gv_barrier_type = 0;
        read_startup_settings();
        EXPECT_EQ(gv_barrier_type, c.expected) << c.line;
    }
}

TEST_F(StartupSettings, NetBaseFolder) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        // Local storage is the default, and with no main folder link the
        // journals land in the root folder.
        {"[common]\n", ""},
        {"[savermgr]\nmaindirlink = /mnt/main\n", "/mnt/main"},
        {"[savermgr]\nmaindirlink = /mnt/main\n[net_base]\nuse_local_storage = 1\n"
         "mountdir = /mnt/net\n",
         "/mnt/main"},
        {"[savermgr]\nmaindirlink = /mnt/main\n[net_base]\nuse_local_storage = yes\n", "/mnt/main"},
        {"[net_base]\nuse_local_storage = 0\nmountdir = /mnt/net\n", "/mnt/net"},
        {"[net_base]\nuse_local_storage = 0\n", "/mnt/usb/"},
    };
    for (const auto& c : cases) {
        write_ini(c.text);
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "/stale");
        read_startup_settings();
        EXPECT_STREQ(gv_netmountpoint, c.expected) << c.text;
    }
}

TEST_F(StartupSettings, DeviceIdKeepsThePreviousValueAndIsCut) {
    write_ini("[common]\nother = 1\n");
    snprintf(gv_deviceid, sizeof gv_deviceid, "gate-7");
    get_deviceid();
    EXPECT_STREQ(gv_deviceid, "gate-7");

    const std::string long_id(100, 'x');
    write_ini("[common]\ndeviceid = " + long_id + "\n");
    get_deviceid();
    EXPECT_EQ(std::string(gv_deviceid), long_id.substr(0, sizeof gv_deviceid - 1));
}

// Keys of other sections do not leak into the settings: the file opened, so
// the texts it lacks are empty and the barrier is an exit.
TEST_F(StartupSettings, OpenedFileWithoutTheKeys) {
    write_ini("[other]\nmaindirlink = /x\nexternal_program = /y\nbarrier_type = in\n");
    snprintf(gv.maindirlink, sizeof gv.maindirlink, "/old/main");
    snprintf(gv.external_program, sizeof gv.external_program, "/old/program");
    read_startup_settings();
    EXPECT_STREQ(gv.maindirlink, "");
    EXPECT_STREQ(gv.external_program, "");
    EXPECT_EQ(gv_barrier_type, -1);
    EXPECT_STREQ(gv_deviceid, "unknown");
}
