// Feeds any bytes to the INI reader, then looks up the names the service
// uses and names taken from the input itself, with every kind of size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/config/config.h"
#include "platform/config/config_parse.h"

namespace {

// A value read into exactly `size` bytes must end within them.
void check_lookup(CONFIG_HANDLE config, const char* section, const char* key, int size) {
    std::vector<char> dest(static_cast<size_t>(size));
    if (ConfigGetStr(config, dest.data(), section, key, size) == 0 &&
        memchr(dest.data(), '\0', dest.size()) == nullptr)
        abort();
    int number = 0;
    ConfigGetInt(config, &number, section, key);
}

// The first two lines of the input, as a section and a key to look up.
std::string line_of(const uint8_t*& data, const uint8_t* end) {
    const uint8_t* start = data;
    while (data < end && *data != '\n')
        ++data;
    std::string line(reinterpret_cast<const char*>(start), static_cast<size_t>(data - start));
    if (data < end)
        ++data;
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CONFIG_HANDLE config = config_parse_text(reinterpret_cast<const char*>(data), size);
    if (config == nullptr)
        return 0;
    static const char* const names[][2] = {
        {"common", "deviceid"},
        {"savermgr", "maindirlink"},
        {"net_base", "use_local_storage"},
        {"barrier", "barrier_type"},
        {"recognizer", "recogn_single"},
        {"disc0", "ON"},
        {"", ""},
        {"s", "k"},
    };
    const int sizes[] = {1, 2, 10, 64};
    for (const auto& name : names)
        for (int dest_size : sizes)
            check_lookup(config, name[0], name[1], dest_size);

    const uint8_t* cursor = data;
    const std::string section = line_of(cursor, data + size);
    const std::string key = line_of(cursor, data + size);
    for (int dest_size : sizes)
        check_lookup(config, section.c_str(), key.c_str(), dest_size);
    ConfigClose(config);
    return 0;
}
