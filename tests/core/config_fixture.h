// Each configuration test gets its own configuration folder in
// VELM_CONF_DIR and the process-wide settings as main leaves them before
// reading the file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/config.h"
#include "core/gv.h"
#include "tests/common/syslog_capture.h"
#include "tests/support/scratch_dir.h"

class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = make_scratch_dir();
        setenv("VELM_CONF_DIR", dir.c_str(), 1);
        memset(&gv, 0, sizeof gv);
        set_recognizer_defaults();
        snprintf(gv_deviceid, sizeof gv_deviceid, "unknown");
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "/mnt/usb/");
        gv_barrier_type = 1;
        memset(gv_mountpoints, 0, sizeof gv_mountpoints);
        syslog_capture::clear();
    }
    void TearDown() override {
        unsetenv("VELM_CONF_DIR");
        remove_scratch_dir(dir);
    }
    void write_ini(const std::string& text) { write_text_file(dir + "/streams.ini", text); }
    std::string ini_path() const { return dir + "/streams.ini"; }

    std::string dir;
};
