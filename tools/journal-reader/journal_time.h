// Times as the journals hold them and as people read them. The records keep
// seconds since the epoch; the text lines keep the board's local time with
// no zone, so they can only be read in the zone this tool runs in (TZ).
#pragma once

#include <cstdint>
#include <string>

enum class TimeStyle {
    NAMED_ZONE,  // "2009-03-14 08:05:09 EET", for people
    ZONE_OFFSET, // "2009-03-14 08:05:09 +0200", for other programs
};

// The local time of `seconds` with its zone; empty when the system cannot
// break the time down.
std::string format_local_time(int64_t seconds, TimeStyle style);

// Reads "YYYY-MM-DDTHH:MM:SS" (no zone) as local time: 0, or -1 when it is
// not such a time or the system cannot place it in the local zone.
int local_time_of(const std::string& iso, int64_t* seconds);
