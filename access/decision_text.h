// The texts a decision leaves in the passage record: the decision message in
// CP1251, its place in the display text, and the owner summary.
#pragma once

#include "access/access_base.h"
#include "access/netnum_journal.h"

// Everything that decides the message.
struct _decision_facts_t {
    int by_button; // the operator let the car through
    int in_list;
    int places; // the matched entry's places limit, 0 when unlisted
    const char* max_park_text;
    _netnum_outcome_t outcome;
};

constexpr size_t decision_message_size = 64;

// Writes the message of the first rule that applies into `message`
// (decision_message_size bytes, zero-filled first) as CP1251, at most 63
// bytes and terminated.
void decision_message(char* message, const _decision_facts_t& facts);

// Puts `message` into the 64-byte display text: after the text's first `}`
// up to the field's end (zero-filled, unterminated when it reaches the end;
// dropped when the `}` is the last byte), or over the whole field when the
// text holds no `}`.
void place_message(char* text, const char* message);

// "<owner>: <direction> (<used><sign>1)" in CP1251 into the 32-byte summary,
// cut to 31 bytes; the direction and sign are those of `barrier_type`.
void owner_summary(char* summary, const char* owner, int used, int barrier_type);
