// The occupancy journal "netnumbase.tpn" in the net-base directory: one
// record per car number that says whether the car is inside, since when and
// when it last left. The entry and the exit service share it; it is how an
// owner's places and a car's parking time are enforced.
#pragma once

#include <cstddef>
#include <cstdint>

#include "access/access_base.h"

struct _netnum_rec_t {
    char number[13]; // zero-terminated, zero-padded
    char owner[32];  // the access entry's owner when the record was made
    int8_t places;   // 1 after an admitted entry, 0 after an exit
    uint8_t reserved[2];
    int32_t in_time;  // last admitted entry, seconds since the epoch; 0 if none
    int32_t out_time; // last exit; 0 if none
};

static_assert(sizeof(_netnum_rec_t) == 56, "_netnum_rec_t is 56 bytes");
static_assert(offsetof(_netnum_rec_t, number) == 0, "layout");
static_assert(offsetof(_netnum_rec_t, owner) == 13, "layout");
static_assert(offsetof(_netnum_rec_t, places) == 45, "layout");
static_assert(offsetof(_netnum_rec_t, reserved) == 46, "layout");
static_assert(offsetof(_netnum_rec_t, in_time) == 48, "layout");
static_assert(offsetof(_netnum_rec_t, out_time) == 52, "layout");

// What the update step found out for the decision.
struct _netnum_outcome_t {
    int places_full; // entry refused: the owner's places are all held
    int over_time;   // exit refused: the car stayed longer than allowed
    int used;        // places the owner's other cars hold; 0 when not counted
};

// The update step of one decision for a listed number within its period, at
// the barrier `barrier_type` (1 entry, -1 exit). Fills `outcome`, which the
// caller has cleared. `by_operator`: the decision runs under the operator's
// photo request, who opens the barrier by hand, so a car refused for its
// stay still leaves and is recorded as gone.
void netnumbase_update(const char* number, long time, const _access_entry_t& entry,
                       int barrier_type, bool by_operator, _netnum_outcome_t* outcome);
