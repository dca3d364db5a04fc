// stmgrclient, the board's command-line state manager client, as functions
// that a test can call in-process.
#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/statemgr/stmcc.h"

// Runs one command line; returns the exit status: 0 done, 1 the state manager
// refused or could not be reached or the output could not be written, 2 a bad
// command line (what is wrong and the usage printed).
int stmgrclient_main(int argc, char** argv, FILE* out, FILE* err);

// Prints the notices of a watching client, one line each, flushed at once,
// until `count` lines (0: no limit) or `seconds` (0: no limit) have passed.
// Returns 0 at either bound, -1 when `out` cannot be written (errno tells
// why), otherwise the code that ended the watch.
int stmgrclient_print_notices(stmcc_t* handle, long count, long seconds, FILE* out);

// "2024-05-01 12:00:00.250 state s_make_photo 1" in local time.
void stmgrclient_format_notice(const stmcc_notice_t& notice, char* line, size_t size);
