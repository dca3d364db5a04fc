#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>

#include "tests/access/decision_fixture.h"

namespace {

using lines_t = std::vector<std::string>;

// "pattern owner seconds" of each loaded record, in order; the pattern
// within its field.
lines_t loaded() {
    lines_t records;
    for (int i = 0; i < gv.access_count; ++i)
        records.push_back(field(gv.access_base[i].number) + " " + gv.access_entries[i].owner + " " +
                          std::to_string(gv.access_entries[i].max_park_time));
    return records;
}

size_t open_descriptors() {
    size_t count = 0;
    for (int fd = 0; fd < 1024; ++fd)
        count += fcntl(fd, F_GETFD) != -1;
    return count;
}

class AccessBaseLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = empty_scratch_dir("access-base") + "/accessbase.tpa";
        free_access_base();
    }
    void TearDown() override { free_access_base(); }
    // Writes the records, then `extra` bytes of a torn record, and loads them.
    void load(const std::vector<_access_rec_t>& records, size_t extra = 0) {
        write_text_file(path_, bytes_of(records).append(extra, '\xEE'));
        reload();
    }
    void reload() {
        syslog_capture::clear();
        EXPECT_EQ(load_access_base(path_.c_str()), 0);
    }
    std::string path_;
};

} // namespace

// Each load replaces the base whole, in file order, each info parsed: fewer
// records, a torn one at the end (ignored), then an empty file. A reload on
// every SIGUSR1 must not leave the file open behind it.
TEST_F(AccessBaseLoad, EachLoadReplacesTheBaseWhole) {
    const size_t descriptors = open_descriptors();
    load({access_record("A123BC", "Ivanov,2,01:30"), access_record("A1????", "Petrov"),
          access_record("A???BC", "")});
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_EQ(loaded(), (lines_t{"A123BC Ivanov 5400", "A1???? Petrov 0", "A???BC  0"}));
    load({access_record("B2", "Y"), access_record("C3", "Z")}, 50);
    EXPECT_EQ(loaded(), (lines_t{"B2 Y 0", "C3 Z 0"}));
    load({});
    EXPECT_EQ(gv.access_count, 0);
    EXPECT_EQ(gv.access_base, nullptr);
    EXPECT_EQ(gv.access_entries, nullptr);
    EXPECT_EQ(syslog_capture::all(), (lines_t{"load_access_base: Loading access base from " + path_,
                                              "load_access_base: Allowed 0 car number plates"}));
}

// No file, a folder in its place (not a base of enormous size), or a FIFO
// without writer (which must not hold the loop in open): the previous base
// stays.
TEST_F(AccessBaseLoad, UnreadableFileKeepsThePreviousBase) {
    load({access_record("A1", "X")});
    const std::string cannot = "load_access_base: Can't open access base from " + path_;
    remove(path_.c_str());
    reload();
    EXPECT_EQ(syslog_capture::count(cannot + ": No such file or directory"), 1u);
    ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);
    reload();
    rmdir(path_.c_str());
    EXPECT_EQ(syslog_capture::count(cannot + ": Is a directory"), 1u);
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    reload();
    remove(path_.c_str());
    EXPECT_EQ(syslog_capture::count(cannot + ": Invalid argument"), 1u);
    EXPECT_EQ(loaded(), lines_t{"A1 X 0"});
}

// A writer that fills every field to its last byte: the number pattern is
// logged within its 10 bytes, the info parsed within its 32.
TEST_F(AccessBaseLoad, UnterminatedFieldsAreReadWithinTheirBytes) {
    _access_rec_t rec;
    memset(&rec, 'K', sizeof rec);
    memcpy(rec.number, "ABCDEFGHIJ", 10);
    load({rec});
    EXPECT_EQ(loaded(), lines_t{"ABCDEFGHIJ " + std::string(31, 'K') + " 0"});
    EXPECT_EQ(syslog_capture::count("load_access_base: Access: ABCDEFGHIJ\n"), 1u);
}
