// The journal reader's command line; main() only calls this, so tests can
// run it in-process.
#pragma once

#include <cstdio>

// Exit status: 0 done, 1 failed (a file unreadable or not whole, the output
// not written), 2 bad command line.
int journal_reader_main(int argc, char** argv, FILE* out, FILE* err);
