// The recognition steps of one loop iteration on the captured frame, each
// ending in the access decision.
#pragma once

#include <ctime>

namespace Brisvale {
class LPR;
}

// Recognition of the current frame in the configured mode; true when a
// plate was handed to the access decision.
bool recognize_frame(Brisvale::LPR* engine, unsigned char* frame, time_t now);
// The operator's photo request: one decision, for the plate the engine
// reads in `frame` or for "~~~HET~~~". True when it was handed on.
bool take_photo(Brisvale::LPR* engine, unsigned char* frame, time_t now);
