// A board's storage in a scratch folder: the net-base directory with the
// shared journals, two storage mount points with their archives, the
// settings that name them and an access base, and passages decided on it.
#pragma once

#include <string>
#include <vector>

#include "tests/storage/storage_checks.h"

struct StorageWorld {
    std::string root;
    std::string net;
    std::string mounts[2];
    std::string conf;
    // "/tmp/last_recognized.jpeg" belongs to the world only where /tmp is
    // private; elsewhere other programs may write it at any time.
    bool private_tmp = false;

    // Empties the folder `name` and builds the storage in it, with the
    // service's settings pointing at it and the access base loaded. The
    // archive has folders for each of the `devices`; the first is this
    // process's device.
    void create(const std::string& name, const std::vector<std::string>& devices = {"dev1"});

    // The folders and files whose operations a storage fault may hit.
    std::string watched() const;

    StorageTree snapshot() const;
};

// Numbers of the access base: two cars of one owner with two places and an
// hour's limit, and a car without owner.
extern const char OWNER_CAR[];
extern const char OTHER_OWNER_CAR[];
extern const char OWNERLESS_CAR[];

// One decision at the barrier `barrier` (1 entry, -1 exit).
void passage(long time, const char* number, int barrier);
