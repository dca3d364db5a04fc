// The service's signal handlers. They run on the loop's only thread at any
// moment, even inside a log call of the main flow, so a handler that lets
// the process go on does nothing but set the process-wide flags and note the
// line it owes the log; the main flow writes those lines with
// write_signal_lines. A handler that ends the process writes the lines still
// owed and its own itself, through the socket to the system log that
// open_signal_log (support/signal_log.h) opened at start-up.
#pragma once

// Fatal signals in the order they are installed and restored, ended by 0.
extern const int fatal_signals[];

// Installs Parachute for every fatal signal that still has its default
// action; one that already has a handler or is ignored (a shell's background
// job ignores SIGINT) keeps it, and "Ignore signal" is logged for it.
void InstallParachute();
// Gives every fatal signal that Parachute handles its default action back.
void RemoveParachute();

// First fatal signal: sets `stop` so the loop ends after its iteration. A
// fault signal (SIGSEGV, SIGBUS, SIGFPE), or a fatal signal while `stop` is
// set, writes the lines owed and "Parachute: signal = N" and ends the
// process by the signal's default action.
void Parachute(int sig);
// Asks the loop to reload the access base (`usr1_flag`).
void Usr1Handler(int sig);

// Writes the lines that the handlers owe since the last call, in the order
// the signals arrived: "Parachute: signal = N" and "Usr1Handler: USR1".
void write_signal_lines();
