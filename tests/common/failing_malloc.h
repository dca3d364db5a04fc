// One allocation made to fail, for the paths a board out of memory takes:
// linked into a test program, malloc hands every request on to the C
// library's allocator except the one armed here.
#pragma once

#include <cstddef>

namespace failing_malloc {

// The sanitizers keep a heap of their own, which glibc's allocator must not
// feed: built with them, nothing fails, and a test that needs the failure
// skips itself.
bool available();
// The next allocation of exactly `size` bytes fails; 0 fails none.
void arm(size_t size);
// Whether the armed allocation has been asked for, and failed, since.
bool taken();

} // namespace failing_malloc
