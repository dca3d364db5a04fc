// What a failing storage may leave behind, judged file by file against
// runs of the same passages without a fault. Each returns the problems
// found, one line each; none when the storage kept its promises.
#pragma once

#include <map>
#include <string>
#include <vector>

// Every file of a storage, by path, with its bytes.
using StorageTree = std::map<std::string, std::string>;

using Problems = std::vector<std::string>;

// Adds every regular file below `folder` to `tree`.
void read_tree(const std::string& folder, StorageTree* tree);

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

// The tree without its temporary files ("*.tmp").
StorageTree without_temporaries(StorageTree tree);

// At most one occupancy record per car number.
Problems one_record_per_car(const StorageTree& tree);

// Every record and line with its car number where its format has it, one of
// `numbers`. A record appended after a torn one without cutting it would show
// bytes of two records there.
Problems numbers_in_place(const StorageTree& tree, const std::vector<std::string>& numbers);
