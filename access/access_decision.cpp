#include "access/access_decision.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "access/access_base.h"
#include "access/decision_text.h"
#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "links/shmgr_link.h"
#include "links/statemgr_link.h"
#include "records/jpeg_compressor.h"
#include "records/snapshot_archive.h"
#include "support/gv.h"
#include "support/log.h"
#include "support/process_values.h"
#include "support/support_routines.h"

namespace {

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
