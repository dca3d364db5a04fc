// The files the operator tools read and write, guarded against what a
// careless command line names: a device or a pipe where a file is expected
// (reading /dev/zero never ends, opening a FIFO never returns), an output
// that is one of the inputs, and a text line that never ends.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The longest text line the tools take: every line the service or the
// editor writes is far shorter.
constexpr size_t TEXT_LINE_MAX = 4096;

// Opens `path` for reading when it is a regular file. nullptr with `why`
// set ("not a regular file", or the system's reason) when not.
FILE* open_input(const std::string& path, std::string* why);

// Whether `output` may be written: "-" (standard output) always; else not
// when it exists and is not a regular file (a device would be replaced by a
// file), nor when it is one of `inputs`, also through a link. 0, or -1 with
// `why` set.
int check_output(const std::string& output, const std::vector<std::string>& inputs,
                 std::string* why);

// Reads the next line of `file` into `line`, its end included: LF, or with
// `cr_ends` also CR alone (CR LF is one end). At most TEXT_LINE_MAX bytes
// are read (and one more for the LF of a CR LF): `too_long` is set when the
// line goes on beyond them. The bytes read (0 at the end of the file), or
// -1 when the file cannot be read.
long read_capped_line(FILE* file, bool cr_ends, std::string* line, bool* too_long);
