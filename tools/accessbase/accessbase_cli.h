// The access-base editor's command line; main() only calls this, so tests
// can run every command in-process.
#pragma once

#include <cstdio>

// Exit status: 0 done, 1 refused or failed, 2 bad command line.
int accessbase_main(int argc, char** argv, FILE* out, FILE* err);
