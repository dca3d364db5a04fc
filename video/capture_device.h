// Thin operations on the three i.MX27 camera drivers. Those that take a
// handle clear errno first and refuse a handle of -1 with errno -22 without
// asking the driver. A request's result is passed on as the driver gave it:
// 0 success, -1 failure with errno set, anything else unchanged.
#pragma once

#include <cstdint>

#include "support/gv.h"

// A request on a closed handle never reaches a driver, so errno is set here,
// to the kernel's own result for an invalid argument, -EINVAL. Being negative
// it cannot be mistaken in the log for any errno a driver sets, and never for
// the time-outs after which a capture restarts the device.
constexpr int capture_closed_handle_error = -22;

int memOpen();
int csiOpen();
int csiConfigure(int handle, _csi_config_t* config);
int videoOpen();
int videoSetFrameRateDivisor(int handle, uint32_t divisor);
// Query a memory-manager buffer and map it shared with the driver. A failed
// mapping leaves `buffer` cleared and fails with the mapping's errno.
int memGetVideoCaptureCh2(int handle, _mapped_buffer_t* buffer);
int memGetBuffer(int handle, uint32_t number, _mapped_buffer_t* buffer);
int videoGetStillImage(int handle, _video_buffer* request);
