#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "core/gv.h"
#include "tests/common/syslog_capture.h"
#include "tests/common/files.h"
#include "tests/common/records.h"

namespace {

using lines_t = std::vector<std::string>;

_access_rec_t record(const char* number, const char* info) {
    _access_rec_t rec;
    memset(&rec, 0, sizeof rec);
    put_field(rec.number, number);
    put_field(rec.info, info);
    return rec;
}

// "pattern owner seconds" of each loaded record, in order; the pattern
// within its field.
std::vector<std::string> loaded() {
    std::vector<std::string> records;
    for (int i = 0; i < gv.access_count; ++i) {
        const char* number = gv.access_base[i].number;
        records.push_back(std::string(number, strnlen(number, sizeof gv.access_base[i].number)) +
                          " " + gv.access_entries[i].owner + " " +
                          std::to_string(gv.access_entries[i].max_park_time));
    }
    return records;
}

// The open descriptors of this process.
size_t open_descriptors() {
    size_t count = 0;
    for (int fd = 0; fd < 1024; ++fd)
        count += fcntl(fd, F_GETFD) != -1;
    return count;
}

class AccessBaseLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_dir("access-base");
        path_ = dir_ + "/accessbase.tpa";
        remove(path_.c_str()); // left over by an interrupted run
        free_access_base();
        syslog_capture::clear();
    }
    void TearDown() override {
        free_access_base();
        remove(path_.c_str());
        rmdir(dir_.c_str());
    }
    // Writes the records, then `extra` bytes of a torn record.
    void write_records(const std::vector<_access_rec_t>& records, size_t extra = 0) {
        std::string bytes;
        for (const _access_rec_t& rec : records)
            bytes.append(reinterpret_cast<const char*>(&rec), sizeof rec);
        write_text_file(path_, bytes.append(extra, '\xEE'));
    }
    void load() {
        syslog_capture::clear();
        EXPECT_EQ(load_access_base(path_.c_str()), 0);
    }

    std::string dir_;
    std::string path_;
};

} // namespace

// A reload on every SIGUSR1 must not leave the file open behind it.
TEST_F(AccessBaseLoad, KeepsFileOrderParsesEachInfoAndLogs) {
    write_records(
        {record("A123BC", "Ivanov,2,01:30"), record("A1????", "Petrov"), record("A???BC", "")});
    const size_t descriptors = open_descriptors();
    load();
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_EQ(loaded(),
              (std::vector<std::string>{"A123BC Ivanov 5400", "A1???? Petrov 0", "A???BC  0"}));
    EXPECT_EQ(syslog_capture::all(),
              (lines_t{"load_access_base: Loading access base from " + path_,
                       "load_access_base: Access: A123BC\n", "load_access_base: Access: A1????\n",
                       "load_access_base: Access: A???BC\n",
                       "load_access_base: Allowed 3 car number plates"}));
}

// Each load replaces the base whole: fewer records, a torn one at the end
// (ignored), then an empty file.
TEST_F(AccessBaseLoad, ReloadsShrinkTheBaseDownToAnEmptyFile) {
    write_records({record("A1", "X"), record("B2", "Y"), record("C3", "Z")});
    load();
    EXPECT_EQ(loaded().size(), 3u);
    write_records({record("B2", "Y"), record("C3", "Z")}, 50);
    load();
    EXPECT_EQ(loaded(), (std::vector<std::string>{"B2 Y 0", "C3 Z 0"}));
    write_records({});
    load();
    EXPECT_EQ(gv.access_count, 0);
    EXPECT_EQ(gv.access_base, nullptr);
    EXPECT_EQ(gv.access_entries, nullptr);
    EXPECT_EQ(syslog_capture::all(), (lines_t{"load_access_base: Loading access base from " + path_,
                                              "load_access_base: Allowed 0 car number plates"}));
}

TEST_F(AccessBaseLoad, MissingFileKeepsThePreviousBase) {
    write_records({record("A1", "X")});
    load();
    remove(path_.c_str());
    load();
    EXPECT_EQ(loaded(), std::vector<std::string>{"A1 X 0"});
    const std::string loading = "load_access_base: Loading access base from " + path_;
    const std::string cannot = "load_access_base: Can't open access base from " + path_;
    EXPECT_EQ(syslog_capture::all(), (lines_t{loading, cannot + ": No such file or directory"}));
    // A folder in its place is unreadable too, not a base of enormous size.
    ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);
    load();
    rmdir(path_.c_str());
    EXPECT_EQ(loaded(), std::vector<std::string>{"A1 X 0"});
    EXPECT_EQ(syslog_capture::all(), (lines_t{loading, cannot + ": Is a directory"}));
}

// A writer that fills every field to its last byte: the number pattern is
// logged within its 10 bytes, the info parsed within its 32.
TEST_F(AccessBaseLoad, UnterminatedFieldsAreReadWithinTheirBytes) {
    _access_rec_t rec;
    memset(&rec, 'K', sizeof rec);
    memcpy(rec.number, "ABCDEFGHIJ", 10);
    write_records({rec});
    load();
    EXPECT_EQ(loaded(), std::vector<std::string>{"ABCDEFGHIJ " + std::string(31, 'K') + " 0"});
    EXPECT_EQ(syslog_capture::count("load_access_base: Access: ABCDEFGHIJ\n"), 1u);
}
