// Files for tests: a scratch folder of its own for each test program below
// $DRAVEL_TEST_TMP (or /tmp), whole-file reads and writes, and fixed-size
// records read back from the files that hold them end to end.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

std::string scratch_dir(const std::string& name);
// scratch_dir, emptied of an earlier run's files.
std::string empty_scratch_dir(const std::string& name);
// Removes `path` and all below it, without following symbolic links.
void remove_tree(const std::string& path);

void write_text_file(const std::string& path, const std::string& bytes);
// The whole file; empty when it cannot be read.
std::string read_text_file(const std::string& path);
// Each line with its '\n'; an unfinished last line is left out.
std::vector<std::string> read_lines(const std::string& path);
bool exists(const std::string& path);

template <typename Record> std::string bytes_of(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

template <typename Record> std::string bytes_of(const std::vector<Record>& records) {
    return std::string(reinterpret_cast<const char*>(records.data()),
                       records.size() * sizeof(Record));
}

// The whole records of the file; a torn one at its end fails the test.
template <typename Record> std::vector<Record> records_of(const std::string& path) {
    const std::string bytes = read_text_file(path);
    EXPECT_EQ(bytes.size() % sizeof(Record), 0u) << "torn record in " << path;
    std::vector<Record> records(bytes.size() / sizeof(Record));
    if (!records.empty())
        memcpy(records.data(), bytes.data(), records.size() * sizeof(Record));
    return records;
}
