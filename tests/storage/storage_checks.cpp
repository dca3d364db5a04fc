#include "tests/storage/storage_checks.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/parking_rec.h"
#include "tests/support/scratch_dir.h"

namespace {

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The record size of a journal of records, 0 for other files.
size_t record_size(const std::string& path) {
    if (ends_with(path, "/netnumbase.tpn"))
        return sizeof(_netnum_rec_t);
    if (ends_with(path, "/netpassbase.tpn"))
        return sizeof(_netpass_rec_t);
    if (ends_with(path, "/passbase.tpp"))
        return sizeof(_parking_rec_t);
    return 0;
}

// A file's state: absent, or its bytes.
using FileState = std::optional<std::string>;

FileState state_of(const StorageTree& tree, const std::string& path) {
    const auto found = tree.find(path);
    return found == tree.end() ? std::nullopt : FileState(found->second);
}

std::string describe(const FileState& state) {
    return state ? std::to_string(state->size()) + " bytes" : "absent";
}

std::set<std::string> paths_of(const std::vector<const StorageTree*>& trees) {
    std::set<std::string> paths;
    for (const StorageTree* tree : trees)
        for (const auto& [path, bytes] : *tree)
            paths.insert(path);
    return paths;
}

// The occupancy records of each car number, in file order.
std::map<std::string, std::vector<std::string>> records_by_number(const FileState& journal) {
    std::map<std::string, std::vector<std::string>> cars;
    const size_t size = sizeof(_netnum_rec_t);
    for (size_t at = 0; journal && at + size <= journal->size(); at += size) {
        const std::string record = journal->substr(at, size);
        cars[record.substr(0, record.find('\0'))].push_back(record);
    }
    return cars;
}

void compare_occupancy(const std::string& path, const FileState& faulted, const FileState& next,
                       const FileState& reference_before, const FileState& reference_after,
                       Problems* problems) {
    auto faulted_cars = records_by_number(faulted);
    auto next_cars = records_by_number(next);
    auto before_cars = records_by_number(reference_before);
    auto after_cars = records_by_number(reference_after);
    std::set<std::string> numbers;
    for (const auto* cars : {&faulted_cars, &next_cars, &before_cars, &after_cars})
        for (const auto& [number, records] : *cars)
            numbers.insert(number);
    for (const std::string& number : numbers) {
        // A car the next passage does not touch stays as the failure left it.
        const bool touched = before_cars[number] != after_cars[number];
        if (next_cars[number] != (touched ? after_cars[number] : faulted_cars[number]))
            problems->push_back(path + ": the record of " + number + " is not as expected");
    }
}

// A JPEG cut short misses its end marker.
bool whole_jpeg(const std::string& bytes) {
    return bytes.size() >= 4 && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
           bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") == 0;
}

constexpr size_t NUMBER_SIZE = sizeof(_netnum_rec_t::number);

// A number as a record holds it (zero-padded to its field) or as a line
// shows it.
bool known_number(const std::string& field, const std::vector<std::string>& numbers) {
    for (const std::string& number : numbers) {
        if (field == number || (number.size() < NUMBER_SIZE &&
                                field == number + std::string(NUMBER_SIZE - number.size(), '\0')))
            return true;
    }
    return false;
}

// The number fields of a journal of `size`-byte records, at `offset` in each.
std::vector<std::string> record_numbers(const std::string& bytes, size_t size, size_t offset) {
    std::vector<std::string> numbers;
    for (size_t at = 0; at + size <= bytes.size(); at += size)
        numbers.push_back(bytes.substr(at + offset, NUMBER_SIZE));
    return numbers;
}

// The numbers of a line journal, from column `column` of each whole line.
std::vector<std::string> line_numbers(const std::string& bytes, size_t column) {
    std::vector<std::string> numbers;
    for (size_t at = 0, end; (end = bytes.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = bytes.substr(at, end - at);
        for (size_t skipped = 0; skipped < column; ++skipped) {
            const size_t semicolon = line.find(';');
            line.erase(0, semicolon == std::string::npos ? line.size() : semicolon + 1);
        }
        numbers.push_back(line.substr(0, line.find(';')));
    }
    return numbers;
}

} // namespace

void read_tree(const std::string& folder, StorageTree* tree) {
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator file(folder, error), end;
         !error && file != end; file.increment(error)) {
        if (file->is_regular_file())
            (*tree)[file->path().string()] = read_text_file(file->path().string());
    }
}

Problems whole_files(const StorageTree& tree) {
    Problems problems;
    for (const auto& [path, bytes] : tree) {
        const size_t size = record_size(path);
        if (ends_with(path, ".tmp"))
            problems.push_back(path + ": temporary file left behind");
        else if (size != 0 && bytes.size() % size != 0)
            problems.push_back(path + ": " + std::to_string(bytes.size() % size) +
                               " bytes of a torn record at the end");
        else if (ends_with(path, ".csv") && !bytes.empty() && bytes.back() != '\n')
            problems.push_back(path + ": the last line is not whole");
        else if (ends_with(path, ".jpeg") && !whole_jpeg(bytes))
            problems.push_back(path + ": not a whole JPEG");
    }
    return problems;
}

Problems only_failed_step_missing(const StorageTree& after,
                                  std::initializer_list<const StorageTree*> outcomes) {
    Problems problems;
    std::vector<const StorageTree*> trees(outcomes);
    trees.push_back(&after);
    for (const std::string& path : paths_of(trees)) {
        const FileState now = state_of(after, path);
        bool expected = false;
        std::string seen;
        for (const StorageTree* outcome : outcomes) {
            expected = expected || now == state_of(*outcome, path);
            seen += (seen.empty() ? "" : ", ") + describe(state_of(*outcome, path));
        }
        if (!expected)
            problems.push_back(path + ": " + describe(now) + ", none of the outcomes (" + seen +
                               ")");
    }
    return problems;
}

Problems next_passage_whole(const StorageTree& faulted, const StorageTree& next,
                            const StorageTree& reference_before,
                            const StorageTree& reference_after) {
    Problems problems;
    for (const std::string& path :
         paths_of({&faulted, &next, &reference_before, &reference_after})) {
        const FileState was = state_of(faulted, path);
        const FileState now = state_of(next, path);
        const FileState ref_was = state_of(reference_before, path);
        const FileState ref_now = state_of(reference_after, path);
        if (ends_with(path, "/netnumbase.tpn")) {
            compare_occupancy(path, was, now, ref_was, ref_now, &problems);
            const Problems twice = one_record_per_car(next);
            problems.insert(problems.end(), twice.begin(), twice.end());
            continue;
        }
        FileState expected = ref_now;
        // A file the passage only appends to gets the same bytes appended.
        const std::string ref_was_bytes = ref_was.value_or("");
        if (ref_now && ref_now->compare(0, ref_was_bytes.size(), ref_was_bytes) == 0) {
            const std::string added = ref_now->substr(ref_was_bytes.size());
            expected = was || !added.empty() ? FileState(was.value_or("") + added) : was;
        }
        if (now != expected)
            problems.push_back(path + ": " + describe(now) + " after the next passage, expected " +
                               describe(expected));
    }
    return problems;
}

StorageTree cut_to_whole(const StorageTree& tree) {
    StorageTree cut = tree;
    for (auto& [path, bytes] : cut) {
        const size_t size = record_size(path);
        if (size != 0)
            bytes.resize(bytes.size() - bytes.size() % size);
        else if (ends_with(path, ".csv"))
            bytes.resize(bytes.rfind('\n') == std::string::npos ? 0 : bytes.rfind('\n') + 1);
    }
    return cut;
}

StorageTree without_temporaries(StorageTree tree) {
    for (auto it = tree.begin(); it != tree.end();)
        it = ends_with(it->first, ".tmp") ? tree.erase(it) : std::next(it);
    return tree;
}

Problems one_record_per_car(const StorageTree& tree) {
    Problems problems;
    for (const auto& [path, bytes] : tree) {
        if (!ends_with(path, "/netnumbase.tpn"))
            continue;
        for (const auto& [number, records] : records_by_number(bytes)) {
            if (records.size() > 1)
                problems.push_back(path + ": " + std::to_string(records.size()) + " records of " +
                                   number);
        }
    }
    return problems;
}

Problems numbers_in_place(const StorageTree& tree, const std::vector<std::string>& numbers) {
    struct Format {
        const char* name;
        size_t record; // 0: text lines
        size_t at;     // offset of the number, or its column
    };
    const Format formats[] = {
        {"/netnumbase.tpn", sizeof(_netnum_rec_t), offsetof(_netnum_rec_t, number)},
        {"/netpassbase.tpn", sizeof(_netpass_rec_t), offsetof(_netpass_rec_t, number)},
        {"/passbase.tpp", sizeof(_parking_rec_t), offsetof(_parking_rec_t, number)},
        {"/netpassbase.csv", 0, 2},
        {"/passbase.csv", 0, 3}};
    Problems problems;
    for (const auto& [path, bytes] : tree) {
        for (const Format& format : formats) {
            if (!ends_with(path, format.name))
                continue;
            const std::vector<std::string> found =
                format.record == 0 ? line_numbers(bytes, format.at)
                                   : record_numbers(bytes, format.record, format.at);
            for (size_t i = 0; i < found.size(); ++i) {
                if (!known_number(found[i], numbers))
                    problems.push_back(path + ": entry " + std::to_string(i) + " out of place");
            }
        }
    }
    return problems;
}
