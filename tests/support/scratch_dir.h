// Kept for the areas not yet moved onto the test kit, whose helpers of the
// same names it now forwards to.
#pragma once

#include "tests/common/files.h"
