#include "support/gv.h"

_gv_t gv;
