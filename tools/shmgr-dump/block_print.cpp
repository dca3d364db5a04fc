#include "tools/shmgr-dump/shmgr_dump.h"

#include <cinttypes>
#include <cstring>
#include <ctime>

#include "records/snapshot_archive.h"
#include "tools/cp1251_text/cp1251_text.h"
#include "tools/cp1251_text/shown_text.h"

namespace {

// Record fields come from another program: control bytes are shown as
// escapes rather than sent to the terminal.
void print_quoted(FILE* out, const std::string& text) {
    fprintf(out, "\"%s\"", escaped_text(text).c_str());
}

// A field of `size` bytes, terminated or not. Its bytes above ASCII are
// read as CP1251, so the terminal gets UTF-8 whatever the writer put there.
void print_field(FILE* out, const char* field, size_t size) {
    print_quoted(out, cp1251_field_to_utf8(field, size));
}

void print_passage(FILE* out, const _parking_rec_t& rec) {
    time_t when = rec.time;
    tm utc;
    char date[32] = "?";
    if (gmtime_r(&when, &utc) != nullptr) {
        strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S UTC", &utc);
    }
    fprintf(out, "  passage time %" PRId32 " (%s) number ", rec.time, date);
    print_field(out, rec.number, sizeof rec.number);
    fprintf(out, " kind %u in_list %u access %d\n", rec.kind, rec.in_list, rec.access);
    fputs("  text ", out);
    print_field(out, rec.text, sizeof rec.text);
    fputs("\n  summary ", out);
    print_field(out, rec.summary, sizeof rec.summary);
    fputc('\n', out);
}

} // namespace

void print_block(FILE* out, const shmgr_block_info& info, const unsigned char* data) {
    if (info.missed > 0) {
        fprintf(out, "missed %" PRIu32 " blocks\n", info.missed);
    }
    fprintf(out,
            "block %" PRIu32 " length %" PRId32 " time %" PRId64 " activity %" PRId32
            " frame %" PRIu32 " iframe %" PRId32 "\n",
            info.sequence, info.length, info.frame_time, info.activity, info.frame_number,
            info.iframe);
    if (info.length >= static_cast<int32_t>(sizeof(_parking_rec_t))) {
        _parking_rec_t rec;
        memcpy(&rec, data, sizeof rec);
        print_passage(out, rec);
    }
}
