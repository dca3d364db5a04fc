// Runs test work in a child process whose storage nobody else sees: a mount
// namespace of its own (and a user namespace when not root) with a fresh
// tmpfs on /tmp, where the service keeps its fixed files, and one on the
// test's storage folder. fsync costs nothing there, and no other program
// on the machine touches the files.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Mounts the tmpfs with `options` (such as "size=1m") on `root` and runs
// `work`; the lines it returns come back in `lines`. False, with nothing
// run, where the system grants no namespace.
bool run_on_private_storage(const std::string& root, const std::string& options,
                            const std::function<std::vector<std::string>()>& work,
                            std::vector<std::string>* lines);

// Prints the last of the `lines` of a run, its tally, which starts with
// `tally`, and fails with every other line.
void report(const char* what, const std::vector<std::string>& lines, const std::string& tally);
