#include "tools/journal-reader/occupancy_view.h"

#include <map>

std::vector<OccupancyRow> cars_inside(const std::vector<OccupancyRow>& rows) {
    std::vector<OccupancyRow> inside;
    for (const OccupancyRow& row : rows) {
        if (row.places > 0)
            inside.push_back(row);
    }
    return inside;
}

std::vector<OwnerPlaces> places_by_owner(const std::vector<OccupancyRow>& rows) {
    std::map<std::string, OwnerPlaces> owners;
    for (const OccupancyRow& row : cars_inside(rows)) {
        if (row.owner.empty())
            continue;
        OwnerPlaces& owner = owners.emplace(row.owner, OwnerPlaces{row.owner, 0, 0}).first->second;
        owner.places += row.places;
        ++owner.cars;
    }
    std::vector<OwnerPlaces> list;
    for (const auto& owner : owners)
        list.push_back(owner.second);
    return list;
}
