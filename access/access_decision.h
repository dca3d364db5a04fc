// The access decision: for one recognised number (or an operator's photo
// request) match the access base, apply the places and parking-time limits,
// open the barrier, and leave the passage in the journals, the archive and
// the stream.
#pragma once

// The decision's steps in the journal modules log under its name.
inline constexpr char decision_log_name[] = "test_recognized_number";

// `frame` is the 704 x 576 doubled passage frame (planar YUV 4:2:0), owned by
// the caller. Every failure is logged and the decision goes on. The frame is
// encoded once: the archive and the stream get the same JPEG. When no buffer
// for the JPEG can be had, the archive still gets the passage, with an empty
// JPEG (length 0), and the stream encodes the frame itself.
void test_recognized_number(long time, const char* number, unsigned char kind,
                            const unsigned char* frame, int width, int height);
