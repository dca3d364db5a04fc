// The steps of one loop iteration that work on the captured frame.
#pragma once

#include <ctime>

namespace Brisvale {
class LPR;
}

// The live preview: two files written in turn and a link that names the
// newest good one, so a reader following the link never sees a file that
// is being written.
struct Preview {
    char name[sizeof "/tmp/video0-0.jpeg"]; // the file the next preview goes to
    char link[sizeof "/tmp/video0.jpeg"];
};

void start_preview(Preview* preview);
// Writes the doubled `frame` (704 x 288) as JPEG and points the link at it.
void write_preview(Preview* preview, unsigned char* frame);

// Recognition of the current frame in the configured mode; true when a
// plate was handed to the access decision.
bool recognize_frame(Brisvale::LPR* engine, unsigned char* frame, time_t now);
// The operator's photo request: one decision, for the plate the engine
// reads in `frame` or for "~~~HET~~~". True when it was handed on.
bool take_photo(Brisvale::LPR* engine, unsigned char* frame, time_t now);
