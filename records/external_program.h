// The program configured as "external_program", started for every passage
// with the passage's journal line.
#pragma once

// Starts gv.external_program in the background with `line` as its one
// argument, exactly as given: the configured text is still read by the
// command interpreter (it may carry options or redirections), while the
// line, which holds texts from the access base, is never parsed by it.
// Returns once the interpreter has put the program in the background; 0 then,
// -1 when no program is configured or none could be started.
int start_external_program(const char* line);
