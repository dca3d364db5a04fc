// The journal reader on arbitrary file bytes, read as each kind of journal
// in turn: every byte is either in a row or in a reported fault, offsets lie
// within the file, every text handed on is UTF-8, and showing the rows as a
// table or as CSV never fails on a working output.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/journal-reader/journal_show.h"

namespace {

bool is_utf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

// Reads the bytes as `kind`; how many rows came out.
size_t read_rows(const uint8_t* data, size_t size, JournalKind kind, JournalFaults* faults) {
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (in == nullptr)
        return 0;
    size_t rows = 0;
    RowHandlers handlers;
    handlers.occupancy = [&](const OccupancyRow& row) {
        check(is_utf8(row.number) && is_utf8(row.owner) && row.places >= 0);
        return ++rows, true;
    };
    handlers.pass = [&](const PassRow& row) {
        check(is_utf8(row.number) && is_utf8(row.message) && is_utf8(row.info) &&
              is_utf8(row.deviceid) && row.access >= -1 && row.access <= 1);
        return ++rows, true;
    };
    handlers.archive = [&](const ArchiveRow& row) {
        check(is_utf8(row.number) && is_utf8(row.text) && is_utf8(row.summary) &&
              is_utf8(row.jpeg) && row.access >= -1 && row.access <= 1);
        return ++rows, true;
    };
    check(read_journal(in, kind, "device", handlers, faults) == READ_DONE);
    fclose(in);
    return rows;
}

void show(const uint8_t* data, size_t size, JournalKind kind, bool csv, FILE* out) {
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (in == nullptr)
        return;
    ShowOptions options;
    options.kind = kind;
    options.csv = csv;
    JournalFaults faults;
    int error = 0;
    check(show_journal(in, "device", options, out, &faults, &error) == SHOW_DONE);
    fclose(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* const out = fopen("/dev/null", "w");
    static const struct {
        JournalKind kind;
        size_t record; // 0 for text lines
    } kinds[] = {{JournalKind::OCCUPANCY, 56},
                 {JournalKind::PASS_RECORDS, 184},
                 {JournalKind::PASS_LINES, 0},
                 {JournalKind::ARCHIVE_RECORDS, 116},
                 {JournalKind::ARCHIVE_LINES, 0}};
    for (const auto& each : kinds) {
        const JournalKind kind = each.kind;
        const size_t record = each.record;
        JournalFaults faults;
        const size_t rows = read_rows(data, size, kind, &faults);
        check(faults.kept.size() == std::min(faults.count, JournalFaults::KEPT));
        for (const JournalFault& fault : faults.kept)
            check(fault.offset < size && !fault.what.empty());
        // Every whole record is either shown or counted as damaged: none is
        // lost behind a damaged one.
        if (record != 0)
            check(rows + faults.damaged_records == size / record);
    }
    // Showing every kind in both styles took most of the time: each input is
    // shown once, as one kind and in one style picked by its length, which
    // mutations change.
    show(data, size, kinds[size % 5].kind, size / 5 % 2 != 0, out);
    return 0;
}
