// Building what the tools read: records as the bytes of a file or a block,
// and long texts.
#pragma once

#include <string>

template <typename Record> std::string bytes_of(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

inline std::string repeated(const char* text, int times) {
    std::string result;
    while (times-- > 0)
        result += text;
    return result;
}
