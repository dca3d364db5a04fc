// The INI reader behind ConfigOpen, for text that is already in memory.
#pragma once

#include <cstddef>

#include "platform/config/config.h"

// Parses `length` bytes of `text` (any bytes, NULs included) into a handle
// for the lookups of config.h; 0 only when memory runs out. ConfigClose
// releases it.
CONFIG_HANDLE config_parse_text(const char* text, size_t length);
