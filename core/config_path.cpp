#include "core/config.h"

#include <cstdio>
#include <cstdlib>

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
