#include "core/config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/board_config.h"
#include "support/gv.h"
#include "support/log.h"
#include "support/process_values.h"

const char* build_conf_path(const char* file_name) {
    const char* directory = getenv("VELM_CONF_DIR");
    if (directory == nullptr)
        directory = "/etc/";
    const int length = snprintf(_GLOBAL_CONF_FULLNAME_, sizeof _GLOBAL_CONF_FULLNAME_, "%s/%s",
                                directory, file_name);
    // A cut path could name another, existing file; no path opens nothing.
    if (length < 0 || static_cast<size_t>(length) >= sizeof _GLOBAL_CONF_FULLNAME_)
        _GLOBAL_CONF_FULLNAME_[0] = '\0';
    return _GLOBAL_CONF_FULLNAME_;
}

const char* build_streams_ini_path() {
    return build_conf_path("streams.ini");
}

void get_deviceid() {
    CONFIG_HANDLE config = ConfigOpen(build_streams_ini_path(), 0);
    if (config == nullptr)
        return;
    // Read aside: the previous id must survive a missing key whatever the
    // library does to its destination on failure.
    char id[sizeof gv_deviceid];
    if (ConfigGetStr(config, id, "common", "deviceid", sizeof id) == 0)
        snprintf(gv_deviceid, sizeof gv_deviceid, "%s", id);
    ConfigClose(config);
}

namespace {

const char default_netmountpoint[] = "/mnt/usb/";

// A missing key gives `fallback`, whatever the library did with `dest`.
void read_text(CONFIG_HANDLE config, char* dest, int size, const char* section, const char* key,
               const char* fallback) {
    if (ConfigGetStr(config, dest, section, key, size) != 0)
        snprintf(dest, static_cast<size_t>(size), "%s", fallback);
}

void read_net_base(CONFIG_HANDLE config) {
    int use_local_storage = 1;
    if (ConfigGetInt(config, &use_local_storage, "net_base", "use_local_storage") != 0)
        use_local_storage = 1;
    if (use_local_storage != 0) {
        static_assert(sizeof gv_netmountpoint == sizeof gv.maindirlink, "same size");
        memcpy(gv_netmountpoint, gv.maindirlink, sizeof gv_netmountpoint);
        return;
    }
    read_text(config, gv_netmountpoint, sizeof gv_netmountpoint, "net_base", "mountdir",
              default_netmountpoint);
}

void read_barrier_type(CONFIG_HANDLE config) {
    char type[10];
    read_text(config, type, sizeof type, "barrier", "barrier_type", "");
    gv_barrier_type = strcmp(type, "in") == 0 ? 1 : -1;
}

} // namespace

void read_startup_settings() {
    // The values that hold when the file cannot be opened.
    snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", default_netmountpoint);
    gv_barrier_type = 1;
    gv.maindirlink[0] = '\0';
    gv.external_program[0] = '\0';

    CONFIG_HANDLE config = ConfigOpen(build_streams_ini_path(), 0);
    if (config == nullptr)
        return;
    get_deviceid();
    read_text(config, gv.maindirlink, sizeof gv.maindirlink, "savermgr", "maindirlink", "");
    read_net_base(config);
    read_barrier_type(config);
    read_text(config, gv.external_program, sizeof gv.external_program, "dravel_parking",
              "external_program", "");
    ConfigClose(config);
}

void set_recognizer_defaults() {
    memset(&gv.recognizer_params, 0, sizeof gv.recognizer_params);
    gv.recognizer_params.average_plate_width = 17.0;
    gv.recognizer_params.reserved = 0.0;
    gv.recognizer_params.extra_sensitivity = 0.0;
    gv.recognizer_params.eliminate_geometry = false;
}

namespace {

// Reads a number written as text into `value`; false (value kept) when the
// key is missing.
bool read_double(CONFIG_HANDLE config, const char* key, double& value) {
    char text[79];
    if (ConfigGetStr(config, text, "recognizer", key, sizeof text) != 0)
        return false;
    value = atof(text);
    return true;
}

} // namespace

int load_config() {
    CONFIG_HANDLE config = ConfigOpen(build_streams_ini_path(), 0);
    if (config == nullptr) {
        LOG("Can not open %s", _GLOBAL_CONF_FULLNAME_);
        return 0;
    }
    RecognizerParams& params = gv.recognizer_params;
    bool all_read = true;

    if (!read_double(config, "average_plate_width", params.average_plate_width)) {
        LOG("Can not get streams.ini/recognizer/average_plate_width. Use default.");
        all_read = false;
    }
    LOG("Average plate width: %.1f", params.average_plate_width);

    if (!read_double(config, "extra_sensitivity", params.extra_sensitivity)) {
        LOG("Can not get streams.ini/recognizer/extra_sensitivity. Use default.");
        all_read = false;
    }
    LOG("Extra sensitivity: %.1f", params.extra_sensitivity);

    int eliminate_geometry;
    if (ConfigGetInt(config, &eliminate_geometry, "recognizer", "eliminate_geometry") == 0) {
        params.eliminate_geometry = eliminate_geometry != 0;
    } else {
        LOG("Can not get streams.ini/recognizer/eliminate_geometry. Use default.");
        all_read = false;
    }
    LOG("Eliminate geometry: %s", params.eliminate_geometry ? "true" : "false");

    int recogn_single;
    gv.recogn_single = 0;
    if (ConfigGetInt(config, &recogn_single, "recognizer", "recogn_single") == 0) {
        gv.recogn_single = recogn_single;
    } else {
        LOG("Can not get streams.ini/recognizer/recogn_single. Use default.");
        all_read = false;
    }
    LOG("Recognize: %s", gv.recogn_single ? "each single frame" : "video stream");

    ConfigClose(config);
    return all_read ? 1 : 0;
}

int get_mountpoints() {
    static const char sections[3][32] = {"disc0", "disc1", "usbdisc"};
    static_assert(sizeof sections / sizeof sections[0] ==
                      sizeof gv_mountpoints / sizeof gv_mountpoints[0],
                  "one section per mount point");

    CONFIG_HANDLE config = ConfigOpen(build_streams_ini_path(), 0);
    if (config == nullptr)
        return 0;
    for (int i = 0; i < 3; ++i) {
        int on = 0;
        if (ConfigGetInt(config, &on, sections[i], "ON") != 0)
            on = 0;
        if (on == 0) {
            gv_mountpoints[i][0] = '\0';
            continue;
        }
        // Read aside, so that a missing key keeps the previous mount point.
        char mountpoint[sizeof gv_mountpoints[i]];
        if (ConfigGetStr(config, mountpoint, sections[i], "mountpoint", sizeof mountpoint) == 0)
            snprintf(gv_mountpoints[i], sizeof gv_mountpoints[i], "%s", mountpoint);
    }
    return ConfigClose(config);
}
