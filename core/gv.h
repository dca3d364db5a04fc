// The service's one global state record and its process-wide values. `main`
// clears `gv` as its first act; each subsystem owns the members marked for it.
#pragma once

#include <csignal>
#include <cstdint>

#include "links/board_shmgr.h"
#include "links/board_statemgr.h"
#include "recognizer/recognizer_params.h"
#include "video/imx27_records.h"

struct _access_rec_t;
struct _access_entry_t;

// A memory-manager buffer as mapped into the process.
struct _mapped_buffer_t {
    uint32_t length;
    uint32_t offset;        // memory-manager offset, also names the buffer to the driver
    unsigned char* address; // null when not mapped
};

struct _gv_t {
    // Capture device.
    int video_handle; // -1 when not open
    int mem_handle;
    int csi_handle;
    _csi_config_t csi_config;
    _mapped_buffer_t capture_buffer; // filled by the driver, 720 x 576
    _mapped_buffer_t frame_buffer;   // the current frame, 704 x 288
    _video_buffer* request;          // replaced on every re-initialisation
    // Set when a restart could not open the device again; the next capture
    // then restarts it once more.
    int capture_restart_pending;

    // Recognition engine.
    RecognizerParams recognizer_params; // the engine keeps a pointer to it
    int recogn_single;                  // non-zero: every frame alone; zero: video stream

    // Platform connections.
    SHMGR_CONNECTION shm_connection;
    SHMGR_BLOCK shm_block; // held only within one stream call
    stmcc_t* statemgr;

    // Access base: the file's records as read, and their parsed info texts.
    _access_rec_t* access_base;
    _access_entry_t* access_entries;
    int32_t access_count;

    // Settings read at start-up.
    char maindirlink[4096];
    char external_program[4096];

    // "TZ=..." handed to putenv, which keeps the pointer for the process's life.
    char tz_env[256];
};

extern _gv_t gv;

// Set by the signal handlers, polled by the loop.
extern volatile sig_atomic_t stop;
extern volatile sig_atomic_t usr1_flag;

extern char gv_deviceid[64];
extern char gv_netmountpoint[4096];
extern int gv_barrier_type; // 1 entry, -1 exit
extern char gv_mountpoints[3][4096];
extern char _GLOBAL_CONF_FULLNAME_[4096];
extern int gv_access_by_button; // the operator's photo request of this iteration

// File names, joined with "%s/%s" to their directories.
extern const char gv_accessbasepath[];
extern const char gv_accessbase[];
extern const char gv_netnumbase[];
extern const char gv_netpassbase[];
extern const char gv_netpassbase_csv[];
extern const char gv_passbase[];
extern const char gv_passbase_csv[];
extern const char gv_last_recognized_jpeg[];
