#include "tests/common/records.h"

#include <algorithm>
#include <vector>

#include "records/utf8-1251-utf8.h"

std::string cp1251(const std::string& utf8) {
    std::vector<char> out(utf8.size() + 1);
    return u8_to_w1251(out.data(), utf8.c_str());
}

_netnum_rec_t netnum_record(const char* number, const char* owner, int places, int32_t in_time,
                            int32_t out_time) {
    _netnum_rec_t rec = {};
    put_field(rec.number, number);
    put_field(rec.owner, owner);
    rec.places = static_cast<int8_t>(places);
    rec.in_time = in_time;
    rec.out_time = out_time;
    return rec;
}

_parking_rec_t parking_record(int32_t time, const char* number, int in_list, int access,
                              const std::string& text, const std::string& summary) {
    _parking_rec_t rec = {};
    rec.time = time;
    put_field(rec.number, number);
    rec.kind = 2;
    rec.in_list = static_cast<uint8_t>(in_list);
    rec.access = static_cast<int8_t>(access);
    memcpy(rec.text, text.data(), std::min(text.size(), sizeof rec.text));
    memcpy(rec.summary, summary.data(), std::min(summary.size(), sizeof rec.summary));
    return rec;
}

_netpass_rec_t netpass_record(int32_t time, const char* number, int access,
                              const std::string& message, const std::string& info,
                              const char* deviceid) {
    _netpass_rec_t rec = {};
    rec.time = time;
    put_field(rec.number, number);
    rec.kind = 2;
    rec.in_list = 1;
    rec.access = static_cast<int8_t>(access);
    put_field(rec.message, message.c_str());
    put_field(rec.info, info.c_str());
    put_field(rec.deviceid, deviceid);
    return rec;
}
