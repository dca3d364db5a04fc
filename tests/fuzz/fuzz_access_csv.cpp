// The access-base editor's CSV import on arbitrary text, as people write it
// in spreadsheets: it accepts or refuses, never crashes, and what it accepts
// exports to a text that imports to the very same records.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/accessbase/access_edit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string csv(reinterpret_cast<const char*>(data), size);
    std::vector<_access_rec_t> records;
    std::vector<std::string> notes;
    std::string error;
    if (import_access_csv(csv, &records, &notes, &error) != 0) {
        if (error.empty())
            __builtin_trap();
        return 0;
    }
    list_access_entries(records);
    std::vector<_access_rec_t> again;
    if (import_access_csv(export_access_csv(records), &again, &notes, &error) != 0 ||
        again.size() != records.size() ||
        (!records.empty() &&
         memcmp(again.data(), records.data(), records.size() * sizeof records[0]) != 0))
        __builtin_trap();
    return 0;
}
