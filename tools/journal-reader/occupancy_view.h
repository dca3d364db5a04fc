// What the occupancy journal says about now: the cars inside and the places
// each owner holds.
#pragma once

#include <vector>

#include "tools/journal-reader/journal_columns.h"

// The cars that hold places now, in journal order.
std::vector<OccupancyRow> cars_inside(const std::vector<OccupancyRow>& rows);

// Per owner, in order of name, the places their cars hold now. Cars whose
// entry named no owner count against nobody and are left out, as the
// service leaves them out.
std::vector<OwnerPlaces> places_by_owner(const std::vector<OccupancyRow>& rows);
