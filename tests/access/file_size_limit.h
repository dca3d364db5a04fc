// Moved to the test kit; kept for the areas not yet moved onto it.
#pragma once

#include "tests/common/file_size_limit.h"
