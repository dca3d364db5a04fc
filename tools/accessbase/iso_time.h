// Dates of the access periods as people read and write them. Written always
// as ISO 8601 in UTC ("2024-05-01T08:00:00Z"); read with the zone stated
// explicitly, either "Z" or an offset ("2024-05-01T11:00:00+03:00"), so a
// date never depends on the time zone of the machine the editor runs on.
#pragma once

#include <cstdint>
#include <string>

// 0, or -1 with `error` set when the text is not such a date or lies outside
// what the file's 32-bit seconds can hold.
int parse_iso_time(const std::string& text, int32_t* seconds, std::string* error);

std::string format_iso_time(int32_t seconds);
