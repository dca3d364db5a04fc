// Which journal a file is, told by its name as the service names its files,
// or by the name of a kind given on the command line.
#pragma once

#include <string>

#include "tools/journal-reader/journal_rows.h"

// The names --kind takes, and what each is.
struct KindName {
    const char* name;
    JournalKind kind;
};
extern const KindName KIND_NAMES[5];

// 0, or -1 when the name does not tell. Copies and rotations such as
// "netpassbase-2009.tpn" are told by how the name begins and ends.
int kind_from_name(const std::string& path, JournalKind* kind);
int kind_from_option(const std::string& name, JournalKind* kind);

// The device id an archive file is filed under: "<mount point>/<device
// id>/passbase.tpp", the name of the folder that holds it. Empty when the
// path cannot be resolved.
std::string archive_deviceid(const std::string& path);

// The absolute path without links, "." or ".."; empty when it cannot be
// resolved (a part is missing or unreadable).
std::string resolved_path(const std::string& path);

// The path that leads from the folder `from` to `to`, both absolute and
// resolved: "../dev7/jpegdata" from "/srv/report" to "/srv/dev7/jpegdata".
std::string relative_path(const std::string& from, const std::string& to);
