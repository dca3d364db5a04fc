// The access base loader on arbitrary file bytes, the info and time parses
// on arbitrary field bytes, and the wildcard comparison on an arbitrary
// pattern field against an arbitrary number field.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "access/access_base.h"
#include "support/gv.h"
#include "tests/fuzz/memory_file.h"

namespace {

void load_bytes(const uint8_t* data, size_t size) {
    static const MemoryFile file;
    if (!file.hold(data, size))
        return;
    load_access_base(file.path.c_str());
    // The loaded base must agree with itself for every decision that reads it.
    if (gv.access_count != static_cast<int32_t>(size / sizeof(_access_rec_t)))
        __builtin_trap();
    for (int32_t i = 0; i < gv.access_count; ++i) {
        char number[13] = {};
        memcpy(number, gv.access_base[i].number, sizeof gv.access_base[i].number);
        // A pattern without `?` compared with itself always matches.
        if (memchr(number, '?', sizeof number) == nullptr &&
            car_number_cmp(gv.access_base[i].number, number) != 1)
            __builtin_trap();
        if (strnlen(gv.access_entries[i].owner, access_field_size) == access_field_size ||
            strnlen(gv.access_entries[i].max_park_text, access_field_size) == access_field_size)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size copies, so any read past a field is caught by the sanitizer.
    char pattern[sizeof(_access_rec_t::number)] = {};
    char number[13] = {};
    memcpy(pattern, data, size < sizeof pattern ? size : sizeof pattern);
    if (size > sizeof pattern)
        memcpy(number, data + sizeof pattern,
               size - sizeof pattern < sizeof number - 1 ? size - sizeof pattern
                                                         : sizeof number - 1);
    car_number_cmp(pattern, number);

    char info[sizeof(_access_rec_t::info)];
    const size_t info_size = size < sizeof info ? size : sizeof info;
    memcpy(info, data, info_size);
    _access_entry_t entry;
    parse_access_info(&entry, info, info_size);

    std::string text(reinterpret_cast<const char*>(data), size);
    short hours = 0;
    short minutes = 0;
    strhmtime(&hours, &minutes, text.c_str());

    load_bytes(data, size);
    free_access_base();
    return 0;
}
