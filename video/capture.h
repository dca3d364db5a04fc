// The camera path of the board: open and configure the three drivers, fetch
// one still image at a time into the current frame, close again.
#pragma once

#include "board/imx27_records.h"

// 0 when every device is open, configured and mapped; -1 after a failure it
// has reported; any other value a driver request returned, unreported.
int video_init_input();
// 0 when the frame buffer (gv.frame_buffer.address) holds a new 704 x 288
// frame; -1 after a failed request (the device is restarted on ERESTART and
// ETIME, and again on every later capture while a restart could not open it);
// any other request result unchanged, with the frame buffer untouched.
int video_Capture_frame(_video_buffer* request);
void video_close_input();
