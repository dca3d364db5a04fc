// One pass over the occupancy journal, which the update step and the owner
// count share: the car's record and the owner's other cars, read once. Over
// a network mount every read is a round trip, and the journal holds a record
// for every car that ever came.
#pragma once

#include <cstdint>
#include <vector>

#include "access/netnum_journal.h"

// An owner's car that the pass met: all that the count says of it.
struct _netnum_owner_car_t {
    char number[13];
    int8_t places;
};

// What one pass over the journal found.
struct _netnum_pass_t {
    long offset = -1;  // of the car's first whole record; -1 when none was read
    _netnum_rec_t car; // that record
    // The owner's records that are not the car's, in file order.
    std::vector<_netnum_owner_car_t> owner_cars;
    bool whole = false; // read to its end; false after a read error
};

// Reads the journal open as `fd` once, from where the descriptor stands (a
// descriptor just opened: the start) to its end, whole records only: the
// first record of `number` and, when `owner` is not empty, every record of
// `owner` that is not of `number`.
void netnum_pass(int fd, const char* number, const char* owner, _netnum_pass_t* pass);

// The owner count on what `pass` read, logged under the name
// "netnumbase_scan_owner" (`path` names the journal): `used` becomes the
// places that every record of `owner` met by the pass holds, said car by car.
// 1 when the pass read the whole journal; 0 when `owner` is empty (`used`
// then stays as it was) or a read failed (`used` keeps the partial sum).
// Nothing is read here.
int netnum_count_owner(const _netnum_pass_t& pass, const char* path, int& used, const char* owner);
