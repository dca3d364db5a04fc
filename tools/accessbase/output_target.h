// Where the editor writes. A symbolic link is followed, so that the file it
// points at (on flash, say) is replaced in its own folder and the link stays
// a link. A device, a pipe or a terminal is written directly: renaming a
// file over it would put a regular file in its place.
#pragma once

#include <string>

// The path that `path` ends at after following every symbolic link; it
// need not exist yet. 0, or -1 with `error` set (a loop of links).
int resolve_links(const std::string& path, std::string* target, std::string* error);

// Writes `bytes` to `path`: directly when it is a device or a pipe, else as
// a regular file replaced whole at the end of its links. 0, or -1 with
// `error` set.
int write_output(const std::string& path, const std::string& bytes, std::string* error);
