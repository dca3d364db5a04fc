#include "tools/journal-reader/journal_read.h"

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/snapshot_archive.h"
#include "tools/accessbase/tool_files.h"
#include "tools/journal-reader/journal_decode.h"
#include "tools/journal-reader/journal_lines.h"

namespace {

const char* kind_name(JournalKind kind) {
    switch (kind) {
    case JournalKind::OCCUPANCY:
        return "occupancy";
    case JournalKind::PASS_RECORDS:
    case JournalKind::PASS_LINES:
        return "pass";
    default:
        return "archive";
    }
}

std::string with_article(JournalKind kind) {
    const std::string name = kind_name(kind);
    return (name[0] == 'p' ? "a " : "an ") + name;
}

size_t record_size(JournalKind kind) {
    switch (kind) {
    case JournalKind::OCCUPANCY:
        return sizeof(_netnum_rec_t);
    case JournalKind::PASS_RECORDS:
        return sizeof(_netpass_rec_t);
    default:
        return sizeof(_parking_rec_t);
    }
}

// -1 when the record is not sound (`why` set), else whether to go on.
int hand_record(JournalKind kind, const unsigned char* bytes, const std::string& deviceid,
                const RowHandlers& handlers, std::string* why) {
    if (kind == JournalKind::OCCUPANCY) {
        OccupancyRow row;
        return decode_occupancy(bytes, &row, why) != 0 ? -1 : handlers.occupancy(row);
    }
    if (kind == JournalKind::PASS_RECORDS) {
        PassRow row;
        return decode_pass(bytes, &row, why) != 0 ? -1 : handlers.pass(row);
    }
    ArchiveRow row;
    return decode_archive(bytes, deviceid, &row, why) != 0 ? -1 : handlers.archive(row);
}

int hand_line(JournalKind kind, const std::string& line, const RowHandlers& handlers,
              std::string* why) {
    if (kind == JournalKind::PASS_LINES) {
        PassRow row;
        return parse_pass_line(line, &row, why) != 0 ? -1 : handlers.pass(row);
    }
    ArchiveRow row;
    return parse_archive_line(line, &row, why) != 0 ? -1 : handlers.archive(row);
}

std::string bytes_at(size_t count, size_t offset, const char* unit) {
    return std::to_string(count) + (count == 1 ? " byte at offset " : " bytes at offset ") +
           std::to_string(offset) + (count == 1 ? " is not a whole " : " are not a whole ") + unit;
}

// `count` records from the one at `offset`, which are not sound; `why`
// tells of the first.
std::string damaged_records(JournalKind kind, size_t size, size_t offset, size_t count,
                            const std::string& why) {
    const std::string first = std::to_string(offset / size + 1);
    const std::string bytes =
        " (bytes " + std::to_string(offset) + " to " + std::to_string(offset + count * size - 1);
    if (count == 1)
        return "record " + first + bytes + ") is not " + with_article(kind) + " record (" + why +
               ")";
    return "records " + first + " to " + std::to_string(offset / size + count) + bytes +
           ") are not " + kind_name(kind) + " records (the first: " + why + ")";
}

int read_records(FILE* file, JournalKind kind, const std::string& deviceid,
                 const RowHandlers& handlers, JournalFaults* faults) {
    const size_t size = record_size(kind);
    std::vector<unsigned char> record(size);
    size_t damaged_from = 0;
    size_t damaged = 0;
    std::string first_why;
    const auto end_damage = [&] {
        if (damaged > 0)
            faults->add(damaged_from,
                        damaged_records(kind, size, damaged_from, damaged, first_why));
        damaged = 0;
    };
    for (size_t offset = 0;; offset += size) {
        const size_t got = fread(record.data(), 1, size, file);
        if (got < size) {
            end_damage();
            if (ferror(file))
                return READ_FAILED;
            if (got > 0)
                faults->add(offset, bytes_at(got, offset, "record"));
            return READ_DONE;
        }
        std::string why;
        const int handed = hand_record(kind, record.data(), deviceid, handlers, &why);
        if (handed < 0) {
            if (damaged++ == 0) {
                damaged_from = offset;
                first_why = why;
            }
            ++faults->damaged_records;
            continue;
        }
        end_damage();
        if (handed == 0)
            return READ_STOPPED;
    }
}

int read_lines(FILE* file, JournalKind kind, const RowHandlers& handlers, JournalFaults* faults) {
    std::string line;
    bool too_long = false;
    size_t offset = 0;
    for (long number = 1;; ++number) {
        long got = read_capped_line(file, false, &line, &too_long);
        if (got <= 0)
            return got < 0 ? READ_FAILED : READ_DONE;
        if (too_long) {
            faults->add(offset, "line " + std::to_string(number) + " at offset " +
                                    std::to_string(offset) + " is longer than " +
                                    std::to_string(TEXT_LINE_MAX) + " bytes");
            // The rest of it, piece by piece.
            while (too_long) {
                offset += static_cast<size_t>(got);
                got = read_capped_line(file, false, &line, &too_long);
                if (got <= 0)
                    return got < 0 ? READ_FAILED : READ_DONE;
            }
            offset += static_cast<size_t>(got);
            continue;
        }
        const size_t length = static_cast<size_t>(got);
        if (line.back() != '\n') {
            faults->add(offset, bytes_at(length, offset, "line"));
            return READ_DONE;
        }
        line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string why;
        const int handed = hand_line(kind, line, handlers, &why);
        if (handed < 0) {
            faults->add(offset, "line " + std::to_string(number) + " at offset " +
                                    std::to_string(offset) + " is not " + with_article(kind) +
                                    " journal line: " + why);
        } else if (handed == 0) {
            return READ_STOPPED;
        }
        offset += length;
    }
}

} // namespace

void JournalFaults::add(size_t offset, const std::string& what) {
    if (kept.size() < KEPT)
        kept.push_back({offset, what});
    ++count;
}

int read_journal(FILE* file, JournalKind kind, const std::string& deviceid,
                 const RowHandlers& handlers, JournalFaults* faults) {
    if (kind == JournalKind::PASS_LINES || kind == JournalKind::ARCHIVE_LINES)
        return read_lines(file, kind, handlers, faults);
    return read_records(file, kind, deviceid, handlers, faults);
}

void tell_faults(FILE* err, const std::string& path, const JournalFaults& faults) {
    const size_t told = 10;
    for (size_t i = 0; i < faults.kept.size() && i < told; ++i)
        fprintf(err, "journal-reader: %s: %s\n", path.c_str(), faults.kept[i].what.c_str());
    if (faults.count > told) {
        fprintf(err, "journal-reader: %s: %zu more places are not whole\n", path.c_str(),
                faults.count - told);
    }
    if (faults.damaged_records > 0) {
        fprintf(err, "journal-reader: %s: %zu damaged %s skipped\n", path.c_str(),
                faults.damaged_records, faults.damaged_records == 1 ? "record" : "records");
    }
}
