#include "tests/core/config_fixture.h"

using MountPoints = ConfigTest;

namespace {

void set_mountpoints(const char* first, const char* second, const char* third) {
    snprintf(gv_mountpoints[0], sizeof gv_mountpoints[0], "%s", first);
    snprintf(gv_mountpoints[1], sizeof gv_mountpoints[1], "%s", second);
    snprintf(gv_mountpoints[2], sizeof gv_mountpoints[2], "%s", third);
}

} // namespace

TEST_F(MountPoints, MissingFileKeepsTheEntries) {
    set_mountpoints("/mnt/a", "/mnt/b", "/mnt/c");
    EXPECT_EQ(get_mountpoints(), 0);
    EXPECT_STREQ(gv_mountpoints[0], "/mnt/a");
    EXPECT_STREQ(gv_mountpoints[1], "/mnt/b");
    EXPECT_STREQ(gv_mountpoints[2], "/mnt/c");
}

TEST_F(MountPoints, SwitchedOnStorageIsRead) {
    write_ini("[disc0]\nON = 1\nmountpoint = /mnt/disc0\n"
              "[disc1]\nON = 0\nmountpoint = /mnt/disc1\n"
              "[usbdisc]\nON = 2\nmountpoint = /mnt/usb\n");
    EXPECT_EQ(get_mountpoints(), 0);
    EXPECT_STREQ(gv_mountpoints[0], "/mnt/disc0");
    EXPECT_STREQ(gv_mountpoints[1], "");
    EXPECT_STREQ(gv_mountpoints[2], "/mnt/usb");
}

// Switching a storage off takes effect on the next snapshot, whatever the
// entry held; an "ON" that is missing or unreadable means off.
TEST_F(MountPoints, SwitchedOffStorageIsEmptied) {
    set_mountpoints("/mnt/a", "/mnt/b", "/mnt/c");
    write_ini("[disc0]\nON = 0\nmountpoint = /mnt/disc0\n"
              "[disc1]\nmountpoint = /mnt/disc1\n"
              "[usbdisc]\nON = on\nmountpoint = /mnt/usb\n");
    EXPECT_EQ(get_mountpoints(), 0);
    EXPECT_STREQ(gv_mountpoints[0], "");
    EXPECT_STREQ(gv_mountpoints[1], "");
    EXPECT_STREQ(gv_mountpoints[2], "");
}

TEST_F(MountPoints, SwitchedOnWithoutAMountPointKeepsTheEntry) {
    set_mountpoints("/mnt/a", "", "");
    write_ini("[disc0]\nON = 1\n");
    EXPECT_EQ(get_mountpoints(), 0);
    EXPECT_STREQ(gv_mountpoints[0], "/mnt/a");
}

TEST_F(MountPoints, ChangesTakeEffectWithoutARestart) {
    write_ini("[disc1]\nON = 1\nmountpoint = /mnt/first\n");
    get_mountpoints();
    EXPECT_STREQ(gv_mountpoints[1], "/mnt/first");
    write_ini("[disc1]\nON = 1\nmountpoint = /mnt/second\n");
    get_mountpoints();
    EXPECT_STREQ(gv_mountpoints[1], "/mnt/second");
}
