#include "tools/journal-reader/journal_decode.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/snapshot_archive.h"
#include "tools/cp1251_text/cp1251_text.h"

namespace {

// A zero-filled stretch is what a file system leaves where a write was lost
// before it reached the disk; no record of the service is all zero.
bool all_zero(const unsigned char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

int refuse(std::string* why, const char* what, int value) {
    char text[64];
    snprintf(text, sizeof text, "%s is %d", what, value);
    *why = text;
    return -1;
}

// Copies the record out of the file's bytes.
template <typename Record>
int take_record(const unsigned char* bytes, Record* rec, std::string* why) {
    memcpy(rec, bytes, sizeof *rec);
    if (!all_zero(bytes, sizeof *rec))
        return 0;
    *why = "all zero bytes";
    return -1;
}

// The flag and direction bytes that every passage record carries.
template <typename Record>
int take_passage(const unsigned char* bytes, Record* rec, std::string* why) {
    if (take_record(bytes, rec, why) != 0)
        return -1;
    if (rec->in_list > 1)
        return refuse(why, "in_list", rec->in_list);
    if (rec->access < -1 || rec->access > 1)
        return refuse(why, "access", rec->access);
    return 0;
}

template <size_t N> std::string text_of(const char (&field)[N]) {
    return cp1251_field_to_utf8(field, N);
}

} // namespace

int decode_occupancy(const unsigned char* bytes, OccupancyRow* row, std::string* why) {
    _netnum_rec_t rec;
    if (take_record(bytes, &rec, why) != 0)
        return -1;
    if (rec.reserved[0] != 0 || rec.reserved[1] != 0)
        return refuse(why, "the reserved field", rec.reserved[0] << 8 | rec.reserved[1]);
    if (rec.places < 0)
        return refuse(why, "places", rec.places);
    *row = OccupancyRow{text_of(rec.number), text_of(rec.owner), rec.places, rec.in_time,
                        rec.out_time};
    return 0;
}

int decode_pass(const unsigned char* bytes, PassRow* row, std::string* why) {
    _netpass_rec_t rec;
    if (take_passage(bytes, &rec, why) != 0)
        return -1;
    if (rec.by_button > 1)
        return refuse(why, "by_button", rec.by_button);
    if (!all_zero(rec.reserved, sizeof rec.reserved))
        return refuse(why, "the reserved field",
                      rec.reserved[0] << 16 | rec.reserved[1] << 8 | rec.reserved[2]);
    *row = PassRow{rec.time,          text_of(rec.number), rec.kind,
                   rec.in_list,       rec.access,          text_of(rec.message),
                   text_of(rec.info), rec.by_button,       text_of(rec.deviceid)};
    return 0;
}

int decode_archive(const unsigned char* bytes, const std::string& deviceid, ArchiveRow* row,
                   std::string* why) {
    _parking_rec_t rec;
    if (take_passage(bytes, &rec, why) != 0)
        return -1;
    *row = ArchiveRow{rec.time,
                      deviceid,
                      text_of(rec.number),
                      rec.kind,
                      rec.in_list,
                      rec.access,
                      text_of(rec.text),
                      text_of(rec.summary),
                      snapshot_name(rec.time, rec.number, sizeof rec.number)};
    return 0;
}

std::string snapshot_name(int64_t time, const char* number, size_t size) {
    const time_t when = static_cast<time_t>(time);
    tm utc;
    char stamp[32] = "";
    if (gmtime_r(&when, &utc) != nullptr)
        strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &utc);
    std::string plate(number, strnlen(number, size));
    for (char& c : plate) {
        if (c == '*' || c == '?')
            c = '-';
    }
    return std::string(stamp) + "_" + cp1251_field_to_utf8(plate.data(), plate.size()) + ".jpeg";
}
