#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/config.h"
#include "core/startup.h"
#include "support/gv.h"

void set_time_zone() {
    FILE* file = fopen(build_conf_path("TZ"), "r");
    if (file == nullptr)
        return;
    char zone[100] = {};
    if (fgets(zone, sizeof zone, file) == nullptr)
        zone[0] = '\0';
    fclose(file);
    // A line end would become part of the zone's name, and the C library
    // then falls back to UTC without a word.
    zone[strcspn(zone, "\r\n")] = '\0';
    snprintf(gv.tz_env, sizeof gv.tz_env, "TZ=%s", zone);
    putenv(gv.tz_env);
    // The log's time stamps have already read the zone once; some C
    // libraries keep that for the local-time conversions unless told again.
    tzset();
}
