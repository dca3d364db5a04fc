// What a configuration handle holds: every key of the file with its section
// and value, in file order.
#pragma once

#include <string>
#include <vector>

#include "platform/config/config.h"

struct config_entry {
    std::string section;
    std::string key;
    std::string value;
};

struct config_file {
    std::vector<config_entry> entries;
};

// The value of section/key (the last one when the key repeats), or null when
// the handle, a name or the key is missing.
const std::string* config_find(CONFIG_HANDLE handle, const char* section, const char* key);
