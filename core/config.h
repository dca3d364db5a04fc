// The service's settings, read from "streams.ini" in the configuration
// directory through the board's configuration library. Missing keys and a
// missing file fall back to defaults; no failure stops the service.
#pragma once

// Builds "<directory>/<file_name>" into _GLOBAL_CONF_FULLNAME_ and returns it.
// The directory is $VELM_CONF_DIR, else "/etc/" (so "/etc//streams.ini").
// A path too long for the buffer leaves it empty, so nothing is opened.
const char* build_conf_path(const char* file_name);
// The same for "streams.ini".
const char* build_streams_ini_path();

// Reads "common"/"deviceid" into gv_deviceid; a missing key or file keeps
// the previous id.
void get_deviceid();

// The start-up settings: device id, main directory link, net-base directory,
// barrier type and external program. Without the file: entry barrier,
// "/mnt/usb/", no main directory link, no external program.
void read_startup_settings();

// Puts the recognizer parameter block to its defaults; main calls it after
// clearing gv and before load_config.
void set_recognizer_defaults();

// Reads the four "recognizer" keys and logs each value in force. 1 when the
// file opened and every key was read, else 0.
int load_config();

// Re-reads the three storage mount points into gv_mountpoints (an entry
// switched off becomes empty). The close result, or 0 when the file cannot
// be opened (the entries keep their contents then).
int get_mountpoints();
