#include "tools/cp1251_text/shown_text.h"

#include <cstdio>

std::string escaped_text(const std::string& text, bool keep_quotes) {
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (c == '"' && !keep_quotes) || c == '\\') {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string quoted_excerpt(const std::string& text, size_t most) {
    if (text.size() <= most)
        return "\"" + escaped_text(text) + "\"";
    size_t cut = most;
    // Never end the excerpt inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return "\"" + escaped_text(text.substr(0, cut)) + "...\" (" + std::to_string(text.size()) +
           " bytes)";
}
