#include "platform/config/config_file.h"
// The service's own declarations of these calls: any difference fails here.
#include "board/board_config.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

const std::string* config_find(CONFIG_HANDLE handle, const char* section, const char* key) {
    if (handle == nullptr || section == nullptr || key == nullptr)
        return nullptr;
    const std::vector<config_entry>& entries = handle->entries;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        if (entry->section == section && entry->key == key)
            return &entry->value;
    return nullptr;
}

int ConfigGetStr(CONFIG_HANDLE handle, char* dest, const char* section, const char* key, int size) {
    const std::string* value = config_find(handle, section, key);
    if (value == nullptr || dest == nullptr || size < 1)
        return -1;
    size_t length = value->size();
    if (length > static_cast<size_t>(size) - 1)
        length = static_cast<size_t>(size) - 1;
    memcpy(dest, value->data(), length);
    dest[length] = '\0';
    return 0;
}

namespace {

// Only a whole, optionally signed, decimal number within int's range counts:
// "0x10", "12abc", " 7" and "" are refused rather than read as something else.
bool parse_decimal(const std::string& text, int& result) {
    if (text.empty())
        return false;
    const char first = text[0];
    if (first != '+' && first != '-' && (first < '0' || first > '9'))
        return false;
    errno = 0;
    char* end = nullptr;
    const long long number = strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size())
        return false;
    if (number < INT_MIN || number > INT_MAX)
        return false;
    result = static_cast<int>(number);
    return true;
}

} // namespace

int ConfigGetInt(CONFIG_HANDLE handle, int* dest, const char* section, const char* key) {
    const std::string* value = config_find(handle, section, key);
    int number;
    if (value == nullptr || dest == nullptr || !parse_decimal(*value, number))
        return -1;
    *dest = number;
    return 0;
}
