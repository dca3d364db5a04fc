#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "core/gv.h"
#include "tests/common/syslog_capture.h"

namespace {

_access_rec_t record(const char* number, const char* info) {
    _access_rec_t rec;
    memset(&rec, 0, sizeof rec);
    strncpy(rec.number, number, sizeof rec.number);
    strncpy(rec.info, info, sizeof rec.info);
    rec.period_from = 0;
    rec.period_to = 2000000000;
    return rec;
}

class AccessBaseLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* base = getenv("DRAVEL_TEST_TMP");
        std::string folder = base ? base : "/tmp";
        mkdir(folder.c_str(), 0755); // ctest names it; it may not exist yet
        std::string pattern = folder + "/access.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir_ = name.data();
        path_ = dir_ + "/accessbase.tpa";
        free_access_base();
        syslog_capture::clear();
    }
    void TearDown() override {
        free_access_base();
        remove(path_.c_str());
        rmdir(dir_.c_str());
    }

    void write_bytes(const void* bytes, size_t size) {
        FILE* file = fopen(path_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        if (size > 0) {
            ASSERT_EQ(fwrite(bytes, size, 1, file), 1u);
        }
        fclose(file);
    }
    void write_records(const std::vector<_access_rec_t>& records, size_t extra = 0) {
        std::vector<unsigned char> bytes(records.size() * sizeof(_access_rec_t) + extra, 0xEE);
        if (!records.empty())
            memcpy(bytes.data(), records.data(), records.size() * sizeof(_access_rec_t));
        write_bytes(bytes.data(), bytes.size());
    }
    // The index of the first record whose pattern matches, as the decision walks.
    static int first_match(const char* number) {
        char field[13] = {};
        strncpy(field, number, sizeof field - 1);
        for (int i = 0; i < gv.access_count; ++i) {
            if (car_number_cmp(gv.access_base[i].number, field))
                return i;
        }
        return -1;
    }

    std::string dir_;
    std::string path_;
};

} // namespace

TEST_F(AccessBaseLoad, LoadsRecordsInFileOrderAndParsesEachInfo) {
    write_records(
        {record("A123BC", "Ivanov,2,01:30"), record("A1????", "Petrov"), record("A???BC", "")});
    EXPECT_EQ(load_access_base(path_.c_str()), 0);
    ASSERT_EQ(gv.access_count, 3);
    EXPECT_STREQ(gv.access_base[1].number, "A1????");
    EXPECT_STREQ(gv.access_entries[0].owner, "Ivanov");
    EXPECT_EQ(gv.access_entries[0].places, 2);
    EXPECT_EQ(gv.access_entries[0].max_park_time, 5400);
    EXPECT_STREQ(gv.access_entries[1].owner, "Petrov");
    EXPECT_STREQ(gv.access_entries[2].owner, "");
    // All three match A123BC; the first in the file is the one used.
    EXPECT_EQ(first_match("A123BC"), 0);
    EXPECT_EQ(first_match("A199BC"), 1);
    EXPECT_EQ(first_match("A777BC"), 2);

    EXPECT_TRUE(syslog_capture::contains("load_access_base: Loading access base from " + path_));
    EXPECT_TRUE(syslog_capture::contains("load_access_base: Access: A1????\n"));
    EXPECT_TRUE(syslog_capture::contains("load_access_base: Allowed 3 car number plates"));
    for (const LoggedLine& line : syslog_capture::lines())
        EXPECT_EQ(line.priority, 0);
}

TEST_F(AccessBaseLoad, TrailingPieceShorterThanARecordIsIgnored) {
    write_records({record("A1", ""), record("B2", "")}, 50);
    load_access_base(path_.c_str());
    EXPECT_EQ(gv.access_count, 2);
    EXPECT_STREQ(gv.access_base[1].number, "B2");
    EXPECT_TRUE(syslog_capture::contains("Allowed 2 car number plates"));
}

TEST_F(AccessBaseLoad, EmptyFileLoadsAnEmptyBase) {
    write_records({record("A1", "X,1")});
    load_access_base(path_.c_str());
    ASSERT_EQ(gv.access_count, 1);

    write_bytes(nullptr, 0);
    syslog_capture::clear();
    load_access_base(path_.c_str());
    EXPECT_EQ(gv.access_count, 0);
    EXPECT_EQ(gv.access_entries, nullptr);
    EXPECT_EQ(first_match("A1"), -1);
    EXPECT_TRUE(syslog_capture::contains("load_access_base: Allowed 0 car number plates"));
    EXPECT_FALSE(syslog_capture::contains("Can't realloc"));
}

TEST_F(AccessBaseLoad, ReloadThatLostRecordsShrinksTheBase) {
    write_records({record("A1", "X"), record("B2", "Y"), record("C3", "Z")});
    load_access_base(path_.c_str());
    ASSERT_EQ(gv.access_count, 3);
    EXPECT_EQ(first_match("C3"), 2);

    write_records({record("B2", "Y")});
    load_access_base(path_.c_str());
    ASSERT_EQ(gv.access_count, 1);
    EXPECT_STREQ(gv.access_entries[0].owner, "Y");
    EXPECT_EQ(first_match("B2"), 0);
    EXPECT_EQ(first_match("A1"), -1);
    EXPECT_EQ(first_match("C3"), -1);
}

TEST_F(AccessBaseLoad, MissingFileKeepsThePreviousBase) {
    write_records({record("A1", "X")});
    load_access_base(path_.c_str());
    remove(path_.c_str());
    syslog_capture::clear();
    EXPECT_EQ(load_access_base(path_.c_str()), 0);
    EXPECT_EQ(gv.access_count, 1);
    EXPECT_EQ(first_match("A1"), 0);
    EXPECT_TRUE(syslog_capture::contains("load_access_base: Can't open access base from " + path_ +
                                         ": No such file or directory"));
}

// A writer that fills every field to its last byte: the number pattern is
// logged and matched within its 10 bytes, the info parsed within its 32.
TEST_F(AccessBaseLoad, UnterminatedFieldsAreReadWithinTheirBytes) {
    _access_rec_t rec;
    memset(&rec, 0, sizeof rec);
    memcpy(rec.number, "ABCDEFGHIJ", 10);
    rec.period_from = 0x4B4B4B4B; // "KKKK" right after the pattern
    memset(rec.info, 'O', sizeof rec.info);
    memset(rec.text, 'T', sizeof rec.text);
    write_records({rec, record("Z1", "")});
    load_access_base(path_.c_str());
    ASSERT_EQ(gv.access_count, 2);
    EXPECT_EQ(std::string(gv.access_entries[0].owner), std::string(31, 'O'));
    EXPECT_TRUE(syslog_capture::contains("Access: ABCDEFGHIJ\n"));
    EXPECT_FALSE(syslog_capture::contains("ABCDEFGHIJK"));
    EXPECT_EQ(first_match("ABCDEFGHIJ"), 0);
    EXPECT_EQ(first_match("ABCDEFGHIJK"), -1);
    EXPECT_EQ(memcmp(gv.access_base[0].text, rec.text, sizeof rec.text), 0);
}

TEST_F(AccessBaseLoad, FreeLeavesAConsistentEmptyBase) {
    write_records({record("A1", "X")});
    load_access_base(path_.c_str());
    free_access_base();
    EXPECT_EQ(gv.access_count, 0);
    EXPECT_EQ(gv.access_base, nullptr);
    EXPECT_EQ(gv.access_entries, nullptr);
}

namespace {

// Virtual memory in use now, in bytes.
long long address_space_in_use() {
    FILE* statm = fopen("/proc/self/statm", "r");
    long long pages = 0;
    if (statm != nullptr) {
        if (fscanf(statm, "%lld", &pages) != 1)
            pages = 0;
        fclose(statm);
    }
    return pages * sysconf(_SC_PAGESIZE);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool ADDRESS_SANITIZER = true;
#else
constexpr bool ADDRESS_SANITIZER = false;
#endif

enum ChildResult { CHILD_PASSED = 0, CHILD_FAILED = 1, CHILD_SKIPPED = 77 };

// Runs in a child: loads a base, then reloads a file too large for the
// address space left to it. The second load must leave the base empty.
int load_beyond_memory(const std::string& small, const std::string& large, size_t large_size) {
    load_access_base(small.c_str());
    if (gv.access_count != 1)
        return CHILD_FAILED;
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(address_space_in_use() + (64 << 20));
    if (setrlimit(RLIMIT_AS, &limit) != 0)
        return CHILD_SKIPPED;
    void* probe = malloc(large_size);
    if (probe != nullptr) { // the limit is not enforced here (qemu-user)
        free(probe);
        return CHILD_SKIPPED;
    }
    syslog_capture::clear();
    load_access_base(large.c_str());
    bool empty = gv.access_count == 0 && gv.access_base == nullptr && gv.access_entries == nullptr;
    bool logged = syslog_capture::contains("load_access_base: Can't realloc " +
                                           std::to_string(large_size) + " bytes");
    return empty && logged ? CHILD_PASSED : CHILD_FAILED;
}

} // namespace

TEST_F(AccessBaseLoad, FailedAllocationLeavesTheBaseEmpty) {
    if (ADDRESS_SANITIZER)
        GTEST_SKIP() << "the address sanitizer ends the process on a failed allocation";
    const size_t large_size = 256u << 20;
    std::string large = dir_ + "/large.tpa";
    write_records({record("A1", "X")});
    FILE* file = fopen(large.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(ftruncate(fileno(file), static_cast<off_t>(large_size)), 0); // sparse
    fclose(file);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(load_beyond_memory(path_, large, large_size));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    remove(large.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == CHILD_SKIPPED)
        GTEST_SKIP() << "no address-space limit available";
    EXPECT_EQ(WEXITSTATUS(status), CHILD_PASSED);
}
