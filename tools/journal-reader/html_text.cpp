#include "tools/journal-reader/html_text.h"

#include <cstdio>

std::string html_escaped(const std::string& utf8) {
    std::string escaped;
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F)
                escaped += "\xEF\xBF\xBD";
            else
                escaped += c;
        }
    }
    return escaped;
}

std::string url_path(const std::string& path) {
    std::string url;
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            url += c;
        } else {
            char encoded[4];
            snprintf(encoded, sizeof encoded, "%%%02X", byte);
            url += encoded;
        }
    }
    return url;
}
