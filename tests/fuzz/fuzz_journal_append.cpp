// Appends to a journal whose existing bytes are arbitrary, as a power cut or
// a full disk may leave them: a record append keeps the whole records before
// a torn end and puts the record on a record boundary; a line append keeps
// every byte and puts the line on a line of its own.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "support/journal_file.h"
#include "tests/fuzz/memory_file.h"

namespace {

const MemoryFile& journal() {
    static const MemoryFile file;
    return file;
}

bool holds(const std::string& expected) {
    std::string bytes(expected.size() + 1, '\0');
    const ssize_t got = pread(journal().fd, &bytes[0], bytes.size(), 0);
    return got == static_cast<ssize_t>(expected.size()) &&
           memcmp(bytes.data(), expected.data(), expected.size()) == 0;
}

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void start_with(const std::string& bytes) {
    check(journal().hold(bytes.data(), bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte chooses the record size, up to the pass journal's.
    const size_t record_size = data[0] % 184 + 1;
    const std::string existing(reinterpret_cast<const char*>(data + 1), size - 1);

    start_with(existing);
    const std::string record(record_size, 'R');
    check(journal_append_record(journal().path.c_str(), record.data(), record.size(), "fuzz") ==
          journal_ok);
    check(holds(existing.substr(0, existing.size() - existing.size() % record_size) + record));

    start_with(existing);
    const bool ends_line = existing.empty() || existing.back() == '\n';
    check(journal_append_line(journal().path.c_str(), "line\n", "fuzz") == journal_ok);
    check(holds(existing + (ends_line ? "" : "\n") + "line\n"));
    return 0;
}
