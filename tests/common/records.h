// The journals' and the archive's fixed records as the writing programs fill
// them, and their texts read back within their fields.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/snapshot_archive.h"

// The text, zeros after it, and no terminator when the text fills the field.
template <size_t N> void put_field(char (&field)[N], const char* text) {
    memset(field, 0, N);
    memcpy(field, text, strnlen(text, N));
}

// A field's text up to its terminator or its end.
template <size_t N> std::string field(const char (&bytes)[N]) {
    return std::string(bytes, strnlen(bytes, N));
}

// A text for people as the service stores it.
std::string cp1251(const std::string& utf8);

_netnum_rec_t netnum_record(const char* number, const char* owner, int places, int32_t in_time,
                            int32_t out_time = 0);
// A passage of plate kind 2, `in_list` and `access` as the decision set them.
_parking_rec_t parking_record(int32_t time, const char* number, int in_list, int access,
                              const std::string& text = "", const std::string& summary = "");
_netpass_rec_t netpass_record(int32_t time, const char* number, int access,
                              const std::string& message, const std::string& info,
                              const char* deviceid);
