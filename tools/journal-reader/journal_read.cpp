#include "tools/journal-reader/journal_read.h"

#include <cstdlib>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/parking_rec.h"
#include "tools/journal-reader/journal_decode.h"
#include "tools/journal-reader/journal_lines.h"

namespace {

const char* kind_name(JournalKind kind) {
    switch (kind) {
    case JournalKind::OCCUPANCY:
        return "an occupancy";
    case JournalKind::PASS_RECORDS:
    case JournalKind::PASS_LINES:
        return "a pass";
    default:
        return "an archive";
    }
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

int read_records(FILE* file, JournalKind kind, const std::string& deviceid,
                 const RowHandlers& handlers, std::vector<JournalFault>* faults) {
    const size_t size = record_size(kind);
    std::vector<unsigned char> record(size);
    for (size_t offset = 0;; offset += size) {
        const size_t got = fread(record.data(), 1, size, file);
        if (got < size) {
            if (ferror(file))
                return READ_FAILED;
            if (got > 0)
                faults->push_back({offset, bytes_at(got, offset, "record")});
            return READ_DONE;
        }
        std::string why;
        const int handed = hand_record(kind, record.data(), deviceid, handlers, &why);
        if (handed < 0) {
            faults->push_back({offset, "the record at offset " + std::to_string(offset) +
                                           " is not " + kind_name(kind) + " record (" + why +
                                           "); nothing after it is read"});
            return READ_DONE;
        }
        if (handed == 0)
            return READ_STOPPED;
    }
}

// getline's buffer, which it grows as it needs.
struct LineBuffer {
    char* data = nullptr;
    size_t capacity = 0;
    ~LineBuffer() { free(data); }
};

int read_lines(FILE* file, JournalKind kind, const RowHandlers& handlers,
               std::vector<JournalFault>* faults) {
    LineBuffer buffer;
    size_t offset = 0;
    for (long number = 1;; ++number) {
        const ssize_t got = getline(&buffer.data, &buffer.capacity, file);
        if (got < 0)
            return ferror(file) ? READ_FAILED : READ_DONE;
        const size_t length = static_cast<size_t>(got);
        if (buffer.data[length - 1] != '\n') {
            faults->push_back({offset, bytes_at(length, offset, "line")});
            return READ_DONE;
        }
        std::string line(buffer.data, length - 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string why;
        const int handed = hand_line(kind, line, handlers, &why);
        if (handed < 0) {
            faults->push_back({offset, "line " + std::to_string(number) + " at offset " +
                                           std::to_string(offset) + " is not " + kind_name(kind) +
                                           " journal line: " + why});
        } else if (handed == 0) {
            return READ_STOPPED;
        }
        offset += length;
    }
}

} // namespace

int read_journal(FILE* file, JournalKind kind, const std::string& deviceid,
                 const RowHandlers& handlers, std::vector<JournalFault>* faults) {
    if (kind == JournalKind::PASS_LINES || kind == JournalKind::ARCHIVE_LINES)
        return read_lines(file, kind, handlers, faults);
    return read_records(file, kind, deviceid, handlers, faults);
}

void tell_faults(FILE* err, const std::string& path, const std::vector<JournalFault>& faults) {
    const size_t told = 10;
    for (size_t i = 0; i < faults.size() && i < told; ++i)
        fprintf(err, "journal-reader: %s: %s\n", path.c_str(), faults[i].what.c_str());
    if (faults.size() > told) {
        fprintf(err, "journal-reader: %s: %zu more places are not whole\n", path.c_str(),
                faults.size() - told);
    }
}
