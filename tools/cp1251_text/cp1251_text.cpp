#include "tools/cp1251_text/cp1251_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "records/utf8-1251-utf8.h"

namespace {

// Decodes one well-formed UTF-8 sequence at `text[*at]` (shortest form, no
// surrogates, at most U+10FFFF). -1 when the bytes there are not one.
long decode_one(const std::string& text, size_t* at) {
    const unsigned char lead = static_cast<unsigned char>(text[*at]);
    int follow;
    uint32_t value;
    uint32_t least;
    if (lead < 0x80) {
        ++*at;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        follow = 1, value = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2, value = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        follow = 3, value = lead & 0x07u, least = 0x10000;
    } else {
        return -1;
    }
    if (text.size() - *at <= static_cast<size_t>(follow))
        return -1;
    for (int i = 1; i <= follow; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[*at + i]);
        if (next < 0x80 || next > 0xBF)
            return -1;
        value = value * 64 + (next & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return -1;
    *at += static_cast<size_t>(follow) + 1;
    return static_cast<long>(value);
}

bool has_cp1251_form(long value) {
    if (value >= 0x20 && value < 0x7F)
        return true;
    if (value >= 0x410 && value <= 0x44F)
        return true;
    for (int32_t known : wtable) {
        if (known == value && known > 0x7F)
            return true;
    }
    return false;
}

// What a control character is called in a message; null for any other.
const char* control_name(long value) {
    switch (value) {
    case 0:
        return "a zero byte";
    case '\t':
        return "a tab";
    case '\n':
        return "a line break";
    case '\r':
        return "a carriage return";
    case 0x7F:
        return "a DEL character";
    }
    return value < 0x20 || (value >= 0x80 && value < 0xA0) ? "a control character" : nullptr;
}

} // namespace

int utf8_to_cp1251_checked(const std::string& utf8, std::string* cp1251, std::string* error) {
    for (size_t at = 0; at < utf8.size();) {
        const size_t start = at;
        const long value = decode_one(utf8, &at);
        char what[96];
        if (value < 0) {
            snprintf(what, sizeof what, "is not valid UTF-8 (byte 0x%02X at offset %zu)",
                     static_cast<unsigned char>(utf8[start]), start);
            *error = what;
            return -1;
        }
        const char* control = control_name(value);
        if (control != nullptr) {
            snprintf(what, sizeof what, "contains %s (U+%04lX at offset %zu)", control, value,
                     start);
            *error = std::string(what) + "; a field holds one line of printable characters";
            return -1;
        }
        if (!has_cp1251_form(value)) {
            snprintf(what, sizeof what, "contains U+%04lX, which CP1251 cannot hold", value);
            *error = what;
            return -1;
        }
    }
    std::vector<char> out(utf8.size() + 1);
    *cp1251 = u8_to_w1251(out.data(), utf8.c_str());
    return 0;
}

std::string cp1251_field_to_utf8(const char* field, size_t size) {
    const std::string text(field, strnlen(field, size));
    std::vector<char> out(3 * text.size() + 1);
    return w1251_to_u8(out.data(), text.c_str());
}
