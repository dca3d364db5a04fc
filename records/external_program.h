// The program configured as "external_program", started for every passage
// with the passage's journal line.
#pragma once

// Starts gv.external_program with `line` as its one argument, exactly as
// given: the configured text is still read by the command interpreter (it
// may carry options, redirections or a comment), while the line, which holds
// texts from the access base, is never parsed by it. Returns as soon as the
// interpreter is started, never waiting for it: 0 then, -1 when no program is
// configured or the interpreter could not be started (noted for
// report_external_program_failures).
int start_external_program(const char* line);

// Logs the interpreters that could not be started, and those that ended
// with status 126 or 127 (the program was not found or could not be run),
// at most one line a minute; a line counts the failures since the last.
// The loop calls it.
void report_external_program_failures();

// The SIGCHLD handler: reaps every finished child, the interpreters of the
// external program, which nobody waits for (system() reaps its own), and
// notes those that could not run the program for the report above.
void sigchldhandler(int sig);
