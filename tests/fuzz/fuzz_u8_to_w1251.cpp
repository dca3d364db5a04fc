// UTF-8 to CP1251 on arbitrary bytes: the output fits the documented size
// and the converter never reads past the input's terminator.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "records/utf8-1251-utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> input(data, data + size);
    input.push_back('\0');
    const size_t length = strlen(input.data());
    std::vector<char> output(length + 1);
    u8_to_w1251(output.data(), input.data());
    if (strlen(output.data()) > length)
        __builtin_trap();
    // 0x98 stands for no character; the converter never produces it.
    if (memchr(output.data(), '\x98', strlen(output.data())) != nullptr)
        __builtin_trap();
    return 0;
}
