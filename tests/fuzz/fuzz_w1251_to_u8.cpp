// CP1251 to UTF-8 on arbitrary bytes: the output fits three bytes an input
// byte and converts back to the input (0x98 comes back as 0x7F).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "records/utf8-1251-utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> input(data, data + size);
    input.push_back('\0');
    const size_t length = strlen(input.data());
    std::vector<char> utf8(3 * length + 1);
    w1251_to_u8(utf8.data(), input.data());
    std::vector<char> back(strlen(utf8.data()) + 1);
    u8_to_w1251(back.data(), utf8.data());
    if (strlen(back.data()) != length)
        __builtin_trap();
    for (size_t i = 0; i < length; ++i) {
        const char expected = input[i] == '\x98' ? '\x7F' : input[i];
        if (back[i] != expected)
            __builtin_trap();
    }
    return 0;
}
