#include "access/access_decision.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "access/access_base.h"
#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "links/shmgr_link.h"
#include "links/statemgr_link.h"
#include "records/jpeg_compressor.h"
#include "records/snapshot_archive.h"
#include "records/utf8-1251-utf8.h"
#include "support/gv.h"
#include "support/log.h"
#include "support/process_values.h"
#include "support/support_routines.h"

namespace {

// The texts a decision leaves in the passage record: the decision message in
// CP1251, its place in the display text, and the owner summary.

// Everything that decides the message.
struct _decision_facts_t {
    int by_button; // the operator let the car through
    int in_list;
    int places; // the matched entry's places limit, 0 when unlisted
    const char* max_park_text;
    _netnum_outcome_t outcome;
};

constexpr size_t decision_message_size = 64;

const char by_operator[] = "Разрешено вручную оператором";
const char places_taken[] = "Запрещено, все места (%d) заняты";
const char stayed_too_long[] = "Запрещено, время стоянки > %.*s";
const char not_listed[] = "Запрещено автоматически, нет в списке";
const char admitted[] = "Разрешено автоматически по списку";

const size_t text_size = sizeof(_parking_rec_t::text);
const size_t summary_size = sizeof(_parking_rec_t::summary);

// The texts have fixed fields, and a text too long for its field is cut
// there on purpose.
__attribute__((format(printf, 3, 4))) void format_cut(char* to, size_t size, const char* format,
                                                      ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(to, size, format, args);
    va_end(args);
}

// Writes the message of the first rule that applies into `message`
// (decision_message_size bytes, zero-filled first) as CP1251, at most 63
// bytes and terminated.
void decision_message(char* message, const _decision_facts_t& facts) {
    // A formatted message is cut in UTF-8 before it is converted; a letter cut
    // in half there is dropped by the conversion, never half stored.
    char scratch[decision_message_size];
    const char* text = admitted;
    if (facts.by_button != 0) {
        text = by_operator;
    } else if (facts.outcome.places_full != 0) {
        format_cut(scratch, sizeof scratch, places_taken, facts.places);
        text = scratch;
    } else if (facts.outcome.over_time != 0) {
        format_cut(scratch, sizeof scratch, stayed_too_long, static_cast<int>(access_field_size),
                   facts.max_park_text);
        text = scratch;
    } else if (facts.in_list == 0) {
        text = not_listed;
    }
    // The conversion writes at most as many bytes as it reads; the messages
    // are longer in UTF-8 than in CP1251, so they are converted with room for
    // their UTF-8 length, and at most 63 bytes are kept.
    char converted[2 * decision_message_size];
    static_assert(sizeof by_operator <= sizeof converted && sizeof not_listed <= sizeof converted &&
                      sizeof admitted <= sizeof converted,
                  "every fixed message fits the conversion buffer");
    u8_to_w1251(converted, text);
    copy_field(message, decision_message_size, converted, decision_message_size - 1);
}

// Puts `message` into the 64-byte display text: after the text's first `}`
// up to the field's end (zero-filled, unterminated when it reaches the end;
// dropped when the `}` is the last byte), or over the whole field when the
// text holds no `}`.
void place_message(char* text, const char* message) {
    // The display text ends at its terminator; a `}` in the bytes after it is
    // not part of it.
    char* brace = static_cast<char*>(memchr(text, '}', strnlen(text, text_size)));
    char* start = brace != nullptr ? brace + 1 : text;
    const size_t room = text_size - static_cast<size_t>(start - text);
    copy_field(start, room, message, room);
}

// "<owner>: <direction> (<used><sign>1)" in CP1251 into the 32-byte summary,
// cut to 31 bytes; the direction and sign are those of `barrier_type`.
void owner_summary(char* summary, const char* owner, int used, int barrier_type) {
    const bool entry = barrier_type == 1;
    char direction[sizeof "въезд"];
    u8_to_w1251(direction, entry ? "въезд" : "выезд");
    format_cut(summary, summary_size, "%.*s: %s (%d%s1)", static_cast<int>(access_field_size - 1),
               owner, direction, used, entry ? "+" : "-");
}

// The archive's JPEG buffer; the stream takes the same bytes when they fit
// its block.
const int jpeg_buffer_size = 65536;
const int number_size = sizeof(_parking_rec_t::number);

// The first access record, in file order, whose pattern matches; -1 for none.
int find_access_record(const char* number) {
    for (int i = 0; i < gv.access_count; ++i) {
        if (car_number_cmp(gv.access_base[i].number, number) != 0)
            return i;
    }
    return -1;
}

bool within_period(const _access_rec_t& rec, long time) {
    const int64_t when = time;
    return rec.period_from <= when && when <= rec.period_to;
}

} // namespace

void test_recognized_number(long time, const char* number, unsigned char kind,
                            const unsigned char* frame, int width, int height) {
    _parking_rec_t rec;
    _netpass_rec_t pass;
    memset(&rec, 0, sizeof rec);
    memset(&pass, 0, sizeof pass);

    rec.time = static_cast<int32_t>(time);
    // At most 12 characters, so the number stays terminated within its field.
    copy_field(rec.number, number_size, number, number_size - 1);
    rec.kind = kind;
    LOG("recognized number: %.*s", number_size, rec.number);

    _decision_facts_t facts;
    memset(&facts, 0, sizeof facts);
    facts.by_button = gv_access_by_button;
    const int found = find_access_record(rec.number);
    if (found >= 0) {
        const _access_rec_t& access = gv.access_base[found];
        const _access_entry_t& entry = gv.access_entries[found];
        facts.in_list = 1;
        facts.places = entry.places;
        facts.max_park_text = entry.max_park_text;
        rec.in_list = 1;
        LOG("%.*s: present in accessed numbers", number_size, rec.number);
        if (within_period(access, time)) {
            netnumbase_update(rec.number, time, entry, gv_barrier_type, facts.by_button != 0,
                              &facts.outcome);
            if (entry.owner[0] != '\0')
                owner_summary(rec.summary, entry.owner, facts.outcome.used, gv_barrier_type);
            copy_field(pass.info, sizeof pass.info, access.info, sizeof pass.info);
        }
        // Bytes left after the terminator by the program that wrote the base go
        // no further.
        copy_field(rec.text, sizeof rec.text, access.text, sizeof rec.text);
    }

    if (facts.in_list != 0 && facts.outcome.places_full == 0 && facts.outcome.over_time == 0) {
        rec.access = static_cast<int8_t>(gv_barrier_type);
        access_enabled();
        LOG("%.*s: access enabled", number_size, rec.number);
    }
    // The operator's word stands whatever the list said; the operator opens
    // the barrier by hand, so no event is raised for it here.
    if (facts.by_button != 0)
        rec.access = static_cast<int8_t>(gv_barrier_type);

    char message[decision_message_size];
    decision_message(message, facts);
    place_message(rec.text, message);
    netpassbase_write(rec, message, &pass);

    // One encoding serves the archive and the stream.
    unsigned char* jpeg = static_cast<unsigned char*>(malloc(jpeg_buffer_size));
    if (jpeg == nullptr) {
        LOG("can't get %d bytes for the JPEG, the passage is archived without it",
            jpeg_buffer_size);
        static const unsigned char no_jpeg[1] = {0};
        save_jpeg(rec, no_jpeg, 0);
        send_rec_to_shmgr(rec, frame, width, height);
        return;
    }
    // The encoder takes a writable pointer but only reads the frame.
    const int length = encodeImage_to_memory(const_cast<unsigned char*>(frame), jpeg,
                                             jpeg_buffer_size, width, height);
    save_jpeg(rec, jpeg, length);
    send_rec_jpeg_to_shmgr(rec, jpeg, length, frame, width, height);
    free(jpeg);
}
