#include "access/decision_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "records/snapshot_archive.h"
#include "records/utf8-1251-utf8.h"
#include "support/support_routines.h"

namespace {

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

} // namespace

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

void place_message(char* text, const char* message) {
    // The display text ends at its terminator; a `}` in the bytes after it is
    // not part of it.
    char* brace = static_cast<char*>(memchr(text, '}', strnlen(text, text_size)));
    char* start = brace != nullptr ? brace + 1 : text;
    const size_t room = text_size - static_cast<size_t>(start - text);
    copy_field(start, room, message, room);
}

void owner_summary(char* summary, const char* owner, int used, int barrier_type) {
    const bool entry = barrier_type == 1;
    char direction[sizeof "въезд"];
    u8_to_w1251(direction, entry ? "въезд" : "выезд");
    format_cut(summary, summary_size, "%.*s: %s (%d%s1)", static_cast<int>(access_field_size - 1),
               owner, direction, used, entry ? "+" : "-");
}
