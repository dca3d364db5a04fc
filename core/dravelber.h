// The grab-and-recognize loop: the working life of the service, one captured
// frame at a time, until `stop` is set.
#pragma once

namespace Brisvale {
class LPR;
}

// Runs on the process's only thread; `engine` stays main's. Returns 0 once
// `stop` is set.
int dravelber(Brisvale::LPR* engine);
