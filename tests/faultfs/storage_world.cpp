#include "tests/faultfs/storage_world.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sys/stat.h>

#include "access/access_base.h"
#include "access/access_decision.h"
#include "support/gv.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/jpeg.h"
#include "tests/common/records.h"

const char OWNER_CAR[] = "A111AA";
const char OTHER_OWNER_CAR[] = "B222BB";
const char OWNERLESS_CAR[] = "C333CC";

namespace {

_access_rec_t access_record(const char* number, const char* info) {
    _access_rec_t rec = {};
    put_field(rec.number, number);
    put_field(rec.info, info);
    rec.period_to = 0x7FFFFFFF;
    snprintf(rec.text, sizeof rec.text, "%s}", number);
    return rec;
}

std::string storage_section(const char* section, const std::string& mountpoint) {
    return std::string("[") + section + "]\nON = " + (mountpoint.empty() ? "0" : "1") +
           "\nmountpoint = " + mountpoint + "\n";
}

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The journals, with where each record or line holds its car number: an
// offset in the record, or a column of the line.
struct Journal {
    const char* name;
    long record; // 0: text lines
    size_t number_at;
};
const Journal JOURNALS[] = {
    {"/netnumbase.tpn", sizeof(_netnum_rec_t), offsetof(_netnum_rec_t, number)},
    {"/netpassbase.tpn", sizeof(_netpass_rec_t), offsetof(_netpass_rec_t, number)},
    {"/passbase.tpp", sizeof(_parking_rec_t), offsetof(_parking_rec_t, number)},
    {"/netpassbase.csv", 0, 2},
    {"/passbase.csv", 0, 3}};

const Journal* journal_of(const std::string& path) {
    for (const Journal& journal : JOURNALS) {
        if (ends_with(path, journal.name))
            return &journal;
    }
    return nullptr;
}

// The size of a record of the journal at `path`; 0 for a journal of lines,
// -1 for a file that is no journal.
long record_size(const std::string& path) {
    const Journal* journal = journal_of(path);
    return journal != nullptr ? journal->record : -1;
}

bool occupancy(const std::string& path) {
    return journal_of(path) == &JOURNALS[0];
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

// A car the next passage does not touch stays as the failure left it; a car
// it touches ends as it does without the failure.
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
        const bool touched = before_cars[number] != after_cars[number];
        if (next_cars[number] != (touched ? after_cars[number] : faulted_cars[number]))
            problems->push_back(path + ": the record of " + number + " is not as expected");
    }
}

// The car number of each whole record or line of a journal.
std::vector<std::string> numbers_of(const Journal& journal, const std::string& bytes) {
    std::vector<std::string> numbers;
    for (size_t at = 0; journal.record > 0 && at + journal.record <= bytes.size();
         at += journal.record)
        numbers.push_back(bytes.substr(at + journal.number_at, sizeof(_netnum_rec_t::number)));
    for (size_t at = 0, end;
         journal.record == 0 && (end = bytes.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = bytes.substr(at, end - at);
        for (size_t column = 0; column < journal.number_at; ++column)
            line.erase(0, line.find(';') == std::string::npos ? line.size() : line.find(';') + 1);
        numbers.push_back(line.substr(0, line.find(';')));
    }
    return numbers;
}

} // namespace

void StorageWorld::create(const std::string& name, const std::vector<std::string>& devices) {
    // The root may be a mount point, which stays.
    root = empty_scratch_dir(name);
    // No state manager runs here: the client that raises the barrier event
    // for an admitted car is a stand-in that answers at once.
    const std::string bin = root + "/bin";
    mkdir(bin.c_str(), 0700);
    write_text_file(bin + "/stmgrclient", "#!/bin/sh\nexit 0\n");
    chmod((bin + "/stmgrclient").c_str(), 0700);
    static const std::string path = getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    net = root + "/net";
    const std::string conf = root + "/conf";
    mkdir(net.c_str(), 0700);
    mkdir(conf.c_str(), 0700);
    for (int i = 0; i < 2; ++i) {
        mounts[i] = root + "/m" + std::to_string(i);
        mkdir(mounts[i].c_str(), 0700);
        for (const std::string& device : devices) {
            mkdir((mounts[i] + "/" + device).c_str(), 0700);
            mkdir((mounts[i] + "/" + device + "/jpegdata").c_str(), 0700);
        }
    }
    write_text_file(conf + "/streams.ini", storage_section("disc0", mounts[0]) +
                                               storage_section("disc1", mounts[1]) +
                                               storage_section("usbdisc", ""));
    setenv("VELM_CONF_DIR", conf.c_str(), 1);
    setenv("TZ", "EET-2", 1);
    snprintf(gv_deviceid, sizeof gv_deviceid, "%s", devices.front().c_str());
    snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", net.c_str());
    gv.external_program[0] = '\0';
    gv_access_by_button = 0;

    const _access_rec_t records[] = {access_record(OWNER_CAR, "Ivanov,2,01:00"),
                                     access_record(OTHER_OWNER_CAR, "Ivanov,2,01:00"),
                                     access_record(OWNERLESS_CAR, "")};
    write_text_file(conf + "/accessbase.tpa", bytes_of(records));
    load_access_base((conf + "/accessbase.tpa").c_str());
}

std::string StorageWorld::watched() const {
    // The latest snapshot is written under a name of its own first.
    const std::string latest = gv_last_recognized_jpeg;
    return net + ":" + mounts[0] + ":" + mounts[1] + ":" + latest + ":" + latest + ".tmp";
}

StorageTree StorageWorld::snapshot() const {
    StorageTree tree;
    for (const std::string& folder : {net, mounts[0], mounts[1]}) {
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator file(folder, error), end;
             !error && file != end; file.increment(error)) {
            if (file->is_regular_file())
                tree[file->path().string()] = read_text_file(file->path().string());
        }
    }
    if (private_tmp && exists(gv_last_recognized_jpeg))
        tree[gv_last_recognized_jpeg] = read_text_file(gv_last_recognized_jpeg);
    return tree;
}

void passage(long time, const char* number, int barrier) {
    // What the storage gets does not depend on the picture's size; a small
    // one keeps the thousands of passages quick, under qemu too.
    static const std::vector<unsigned char> frame(64 * 48 * 3 / 2, 0x80);
    gv_barrier_type = barrier;
    test_recognized_number(time, number, 2, frame.data(), 64, 48);
}

Problems whole_files(const StorageTree& tree) {
    Problems problems;
    for (const auto& [path, bytes] : tree) {
        const long size = record_size(path);
        if (ends_with(path, ".tmp"))
            problems.push_back(path + ": temporary file left behind");
        else if (size > 0 && bytes.size() % size != 0)
            problems.push_back(path + ": " + std::to_string(bytes.size() % size) +
                               " bytes of a torn record at the end");
        else if (size == 0 && !bytes.empty() && bytes.back() != '\n')
            problems.push_back(path + ": the last line is not whole");
        else if (ends_with(path, ".jpeg") && !jpeg_whole(bytes))
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
        if (occupancy(path)) {
            compare_occupancy(path, was, now, ref_was, ref_now, &problems);
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
    const Problems twice = one_record_per_car(next);
    problems.insert(problems.end(), twice.begin(), twice.end());
    return problems;
}

StorageTree cut_to_whole(const StorageTree& tree) {
    StorageTree cut = tree;
    for (auto& [path, bytes] : cut) {
        const long size = record_size(path);
        if (size > 0)
            bytes.resize(bytes.size() - bytes.size() % size);
        else if (size == 0)
            bytes.resize(bytes.rfind('\n') == std::string::npos ? 0 : bytes.rfind('\n') + 1);
    }
    return cut;
}

Problems one_record_per_car(const StorageTree& tree) {
    Problems problems;
    for (const auto& [path, bytes] : tree) {
        for (const auto& [number, records] : records_by_number(bytes)) {
            if (occupancy(path) && records.size() > 1)
                problems.push_back(path + ": " + std::to_string(records.size()) + " records of " +
                                   number);
        }
    }
    return problems;
}

Problems numbers_in_place(const StorageTree& tree, const std::vector<std::string>& numbers) {
    Problems problems;
    for (const auto& [path, bytes] : tree) {
        const Journal* journal = journal_of(path);
        const std::vector<std::string> found =
            journal != nullptr ? numbers_of(*journal, bytes) : std::vector<std::string>();
        for (size_t i = 0; i < found.size(); ++i) {
            bool known = false;
            for (std::string number : numbers) {
                // A record holds the number zero-padded to its field.
                if (journal->record > 0)
                    number.resize(sizeof(_netnum_rec_t::number), '\0');
                known = known || found[i] == number;
            }
            if (!known)
                problems.push_back(path + ": entry " + std::to_string(i) + " out of place");
        }
    }
    return problems;
}
