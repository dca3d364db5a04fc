// The archive keeper's command line: the storages and the limits from the
// service's configuration, the limits overridden by options, and each
// storage pruned in turn.
#pragma once

#include <cstdio>

// The program with its arguments; `out` gets each storage's outcome (and
// the help), `err` what is wrong with the command line or the
// configuration. 0 when every storage switched on meets its limits; 1 when
// one does not, or was skipped; 2 for a wrong command line or a
// configuration that cannot be read.
int archive_keeper_main(int argc, char** argv, FILE* out, FILE* err);
