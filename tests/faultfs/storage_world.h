// A board's storage in a scratch folder: the net-base directory with the
// shared journals, two storage mount points with their archives, the
// settings that name them and an access base, and passages decided on it.
// And what a failing storage may leave behind there, judged file by file
// against runs of the same passages without a fault: each check returns the
// problems found, one line each, none when the storage kept its promises.
#pragma once

#include <map>
#include <string>
#include <vector>

// Every file of a storage, by path, with its bytes.
using StorageTree = std::map<std::string, std::string>;
using Problems = std::vector<std::string>;

struct StorageWorld {
    std::string root;
    std::string net;
    std::string mounts[2];
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

// Journals of whole records and whole lines, JPEGs that are whole images,
// no temporary file left.
Problems whole_files(const StorageTree& tree);

// Every file as in one of the `outcomes`: as before the passage, as the
// passage leaves it when nothing fails, or as a decision made without the
// occupancy journal leaves it. A failure costs its own step and nothing else.
Problems only_failed_step_missing(const StorageTree& after,
                                  std::initializer_list<const StorageTree*> outcomes);

// The passage after the failure adds to every file what it adds without
// any failure before it.
Problems next_passage_whole(const StorageTree& faulted, const StorageTree& next,
                            const StorageTree& reference_before,
                            const StorageTree& reference_after);

// The tree as a reader may take it after a power cut: every journal cut
// back to its whole records or lines.
StorageTree cut_to_whole(const StorageTree& tree);

// At most one occupancy record per car number.
Problems one_record_per_car(const StorageTree& tree);

// Every record and line with its car number where its format has it, one of
// `numbers`. A record appended after a torn one without cutting it would show
// bytes of two records there.
Problems numbers_in_place(const StorageTree& tree, const std::vector<std::string>& numbers);
