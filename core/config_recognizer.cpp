#include "core/config.h"

#include <cstdlib>
#include <cstring>

#include "board/board_config.h"
#include "support/gv.h"
#include "support/log.h"
#include "support/process_values.h"

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
