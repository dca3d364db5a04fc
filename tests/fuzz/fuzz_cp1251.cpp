// Both text conversions on arbitrary bytes. UTF-8 to CP1251: the output fits
// the input's length, never holds 0x98 (no character) and the converter never
// reads past the input's terminator. CP1251 to UTF-8: the output fits three
// bytes an input byte and converts back to the input (0x98 comes back as 0x7F).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "records/utf8-1251-utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> input(data, data + size);
    input.push_back('\0');
    const size_t length = strlen(input.data());
    std::vector<char> w1251(length + 1);
    u8_to_w1251(w1251.data(), input.data());
    if (strlen(w1251.data()) > length || memchr(w1251.data(), '\x98', strlen(w1251.data())))
        __builtin_trap();

    std::vector<char> utf8(3 * length + 1);
    w1251_to_u8(utf8.data(), input.data());
    std::vector<char> back(strlen(utf8.data()) + 1);
    u8_to_w1251(back.data(), utf8.data());
    if (strlen(back.data()) != length)
        __builtin_trap();
    for (size_t i = 0; i < length; ++i) {
        if (back[i] != (input[i] == '\x98' ? '\x7F' : input[i]))
            __builtin_trap();
    }
    return 0;
}
