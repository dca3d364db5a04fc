#include "tests/common/failing_malloc.h"

namespace {

size_t failing = 0;

} // namespace

#if defined(__SANITIZE_ADDRESS__)
#define ALLOCATION_CAN_FAIL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ALLOCATION_CAN_FAIL 0
#endif
#endif
#ifndef ALLOCATION_CAN_FAIL
#define ALLOCATION_CAN_FAIL 1
extern "C" void* __libc_malloc(size_t size);

extern "C" void* malloc(size_t size) noexcept {
    if (size != 0 && size == failing) {
        failing = 0;
        return nullptr;
    }
    return __libc_malloc(size);
}
#endif

bool failing_malloc::available() {
    return ALLOCATION_CAN_FAIL != 0;
}

void failing_malloc::arm(size_t size) {
    failing = size;
}

bool failing_malloc::taken() {
    return failing == 0;
}
