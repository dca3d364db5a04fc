#include "platform/config/config_parse.h"

#include <memory>
#include <new>

#include "platform/config/config_file.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string trimmed(const char* begin, const char* end) {
    while (begin < end && is_blank(*begin))
        ++begin;
    while (end > begin && is_blank(end[-1]))
        --end;
    return std::string(begin, end);
}

std::string unquoted(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

void parse_line(const std::string& line, std::string& section, config_file& file) {
    if (line.empty() || line[0] == ';' || line[0] == '#')
        return;
    if (line[0] == '[') {
        const size_t close = line.find(']');
        if (close != std::string::npos)
            section = trimmed(line.data() + 1, line.data() + close);
        return;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0)
        return;
    std::string key = trimmed(line.data(), line.data() + equals);
    std::string value = unquoted(trimmed(line.data() + equals + 1, line.data() + line.size()));
    file.entries.push_back({section, std::move(key), std::move(value)});
}

} // namespace

CONFIG_HANDLE config_parse_text(const char* text, size_t length) {
    // The library's callers are C-style code that cannot take an exception;
    // running out of memory is reported like a file that cannot be opened.
    try {
        std::unique_ptr<config_file> file(new config_file);
        std::string section;
        const char* end = text + length;
        for (const char* line = text; line < end;) {
            const char* newline = line;
            while (newline < end && *newline != '\n')
                ++newline;
            parse_line(trimmed(line, newline), section, *file);
            line = newline + 1;
        }
        return file.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
