// The service's one global state record. `main` clears it as its first act;
// each subsystem owns the members marked for it.
//
// Where module state lives: state that one subsystem hands to another
// (settings read at start-up, the access base, the frame the capture fills)
// or that the board keeps hold of (device handles and mapped buffers,
// library connections and the blocks they lend, the records handed to the
// drivers, the parameter block and the TZ text whose addresses a library
// keeps) lives in gv. State that one module keeps for its own bookkeeping
// (said-once flags, rate limits, retry times) is static in that module, with
// the reason it outlives a call. Plain process-wide values without board
// types are in support/process_values.h.
#pragma once

#include <cstdint>

#include "board/board_shmgr.h"
#include "board/board_statemgr.h"
#include "board/imx27_records.h"
#include "board/recognizer_params.h"

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
    _csi_config_t csi_config;        // filled before the configuration request and kept
    _mapped_buffer_t capture_buffer; // filled by the driver, 720 x 576
    _mapped_buffer_t frame_buffer;   // the current frame, 704 x 288
    _video_buffer* request;          // replaced on every re-initialisation

    // Recognition engine.
    RecognizerParams recognizer_params; // the engine keeps a pointer to it
    int recogn_single;                  // non-zero: every frame alone; zero: video stream

    // Platform connections.
    SHMGR_CONNECTION shm_connection;
    SHMGR_BLOCK shm_block; // lent by the manager within one stream call
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
