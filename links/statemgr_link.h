// The service's link to the board's state manager: the operator's photo
// request comes in as the state "s_make_photo", the camera's signal goes out
// as the event "e_signal0", and an admitted car raises "e_access_grntd". The
// client handle lives in gv.statemgr from start-up to shutdown.
#pragma once

// Creates the client named "<name>.state_mgr_2" (cut to 255 characters),
// starts it and subscribes to "s_make_photo". 0 when all of it succeeded,
// else 1 (logged); the service cannot run without it.
int statemgr_connect(const char* name);

// Takes every waiting state change without waiting for one, and sets
// *request to 1 when one of them set "s_make_photo" to a non-zero value; it
// never clears *request. Nothing is asked while `stop` is set. 0, or 1 when
// the library reported an error: the connection is then taken as lost
// (logged once), and the following calls try a new client at most every few
// seconds, returning 1 until one is started and subscribed (logged once).
int process_states(int* request);

// Notifies "e_signal0" with `value` (1: the camera delivers frames); on a
// lost connection it first tries a new client. A failure is logged, sets
// `stop`, and returns 1.
int say_signal(int value);

// Whether a failed notification stopped the service: it then ends with a
// failure status, so that a supervisor (systemd's Restart=on-failure) starts
// it again with a fresh state-manager connection.
bool signal_report_failed();

// Raises "e_access_grntd" through the command-line client; 0 whatever it did.
int access_enabled();

// Shutdown: deletes the client and clears gv.statemgr.
void statemgr_disconnect();
