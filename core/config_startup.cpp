#include "core/config.h"

#include <cstdio>
#include <cstring>

#include "board/board_config.h"
#include "support/gv.h"
#include "support/process_values.h"

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
