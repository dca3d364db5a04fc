#include "core/config.h"

#include <cstdio>

#include "board/board_config.h"
#include "support/process_values.h"

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
