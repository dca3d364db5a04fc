#include "tools/journal-reader/journal_time.h"

#include <ctime>

#include "tools/accessbase/iso_time.h"

std::string format_local_time(int64_t seconds, TimeStyle style) {
    const time_t when = static_cast<time_t>(seconds);
    tm local;
    char text[64];
    if (when != seconds || localtime_r(&when, &local) == nullptr)
        return "";
    const char* format =
        style == TimeStyle::NAMED_ZONE ? "%Y-%m-%d %H:%M:%S %Z" : "%Y-%m-%d %H:%M:%S %z";
    return strftime(text, sizeof text, format, &local) > 0 ? text : "";
}

int local_time_of(const std::string& iso, int64_t* seconds) {
    // The date parser checks the calendar; read as UTC it yields the fields
    // that mktime then places in the local zone.
    int32_t as_utc;
    std::string ignored;
    if (parse_iso_time(iso + "Z", &as_utc, &ignored) != 0)
        return -1;
    const time_t fields_time = as_utc;
    tm fields;
    if (gmtime_r(&fields_time, &fields) == nullptr)
        return -1;
    fields.tm_isdst = -1;
    const time_t local = mktime(&fields);
    if (local == static_cast<time_t>(-1))
        return -1;
    *seconds = local;
    return 0;
}
