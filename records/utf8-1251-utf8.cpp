#include "records/utf8-1251-utf8.h"

// Windows-1251 0x80..0xBF. 0x98 has no character there; it maps to DEL so
// that every byte still converts to something.
const int32_t wtable[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x007F, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

namespace {

// The 64 letters U+0410..U+044F fill 0xC0..0xFF in order.
constexpr uint32_t cyrillic_offset = 0x350;

bool is_continuation(unsigned char byte) {
    return byte >= 0x80 && byte <= 0xBF;
}

// The CP1251 byte of `value`, or 0 when nothing is to be written.
unsigned char w1251_byte(uint32_t value) {
    if (value == 0)
        return 0;
    if (value <= 0x7F)
        return static_cast<unsigned char>(value);
    if (value >= 0x410 && value <= 0x44F)
        return static_cast<unsigned char>(value - cyrillic_offset);
    for (int k = 0; k < 64; ++k) {
        if (static_cast<uint32_t>(wtable[k]) == value)
            return static_cast<unsigned char>(0x80 + k);
    }
    return '?';
}

char* put_u8(char* out, uint32_t value) {
    if (value < 0x80) {
        *out++ = static_cast<char>(value);
    } else if (value < 0x800) {
        *out++ = static_cast<char>(0xC0 | (value >> 6));
        *out++ = static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (value >> 12));
        *out++ = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (value & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (value >> 18));
        *out++ = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (value & 0x3F));
    }
    return out;
}

} // namespace

char* u8_to_w1251(char* out, const char* in) {
    if (out == nullptr)
        return nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
    char* o = out;
    while (*p != 0) {
        unsigned char lead = *p++;
        int follow;
        uint32_t value;
        if (lead <= 0x7F) {
            follow = 0;
            value = lead;
        } else if (lead <= 0xBF || lead >= 0xF8) {
            continue; // a continuation without a lead, or no lead at all
        } else if (lead <= 0xDF) {
            follow = 1;
            value = lead & 0x1Fu;
        } else if (lead <= 0xEF) {
            follow = 2;
            value = lead & 0x0Fu;
        } else {
            follow = 3;
            value = lead & 0x07u;
        }
        bool broken = false;
        for (; follow > 0; --follow) {
            unsigned char next = *p;
            if (next == 0) {
                // A sequence cut by the end: nothing for it, and never a
                // read beyond the terminator.
                *o = '\0';
                return out;
            }
            ++p;
            if (!is_continuation(next)) {
                broken = true; // dropped together with the sequence it broke
                break;
            }
            value = value * 64 + (next & 0x3Fu);
        }
        if (broken)
            continue;
        unsigned char byte = w1251_byte(value);
        if (byte != 0)
            *o++ = static_cast<char>(byte);
    }
    *o = '\0';
    return out;
}

char* w1251_to_u8(char* out, const char* in) {
    if (out == nullptr)
        return nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
    char* o = out;
    for (; *p != 0; ++p) {
        unsigned char byte = *p;
        if (byte <= 0x7F)
            *o++ = static_cast<char>(byte);
        else if (byte <= 0xBF)
            o = put_u8(o, static_cast<uint32_t>(wtable[byte - 0x80]));
        else
            o = put_u8(o, byte + cyrillic_offset);
    }
    *o = '\0';
    return out;
}
