// Where the editor writes. A symbolic link is followed, so that the file it
// points at (on flash, say) is replaced in its own folder and the link stays
// a link. A device, a pipe or a terminal is refused, since renaming a file
// over it would put a regular file in its place: standard output is "-".
#pragma once

#include <string>
#include <vector>

// The path that `path` ends at after following every symbolic link; it
// need not exist yet. 0, or -1 with `error` set (a loop of links).
int resolve_links(const std::string& path, std::string* target, std::string* error);

// Writes `bytes` as the regular file at the end of the links of `path`,
// replaced whole; refused when it is not a regular file or one of `inputs`.
// 0, or -1 with `error` set.
int write_output(const std::string& path, const std::vector<std::string>& inputs,
                 const std::string& bytes, std::string* error);
