#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "access/netnum_journal.h"
#include "core/gv.h"
#include "tests/common/syslog_capture.h"
#include "tests/links/logged.h"
#include "tests/support/scratch_dir.h"

namespace {

const int ENTRY = 1;
const int EXIT = -1;

_access_entry_t entry(const char* owner, int places, int max_park_time = 0) {
    _access_entry_t e;
    memset(&e, 0, sizeof e);
    snprintf(e.owner, sizeof e.owner, "%s", owner);
    e.places = places;
    e.max_park_time = max_park_time;
    return e;
}

_netnum_rec_t record(const char* number, const char* owner, int places, int32_t in_time,
                     int32_t out_time = 0) {
    _netnum_rec_t rec;
    memset(&rec, 0, sizeof rec);
    strncpy(rec.number, number, sizeof rec.number);
    strncpy(rec.owner, owner, sizeof rec.owner);
    rec.places = static_cast<int8_t>(places);
    rec.in_time = in_time;
    rec.out_time = out_time;
    return rec;
}

std::string bytes_of(const std::vector<_netnum_rec_t>& records) {
    std::string bytes;
    for (const _netnum_rec_t& rec : records)
        bytes.append(reinterpret_cast<const char*>(&rec), sizeof rec);
    return bytes;
}

// A record as a comparable text: number and owner within their fields.
std::string show(const _netnum_rec_t& rec) {
    return std::string(rec.number, strnlen(rec.number, sizeof rec.number)) + "/" +
           std::string(rec.owner, strnlen(rec.owner, sizeof rec.owner)) + " places " +
           std::to_string(rec.places) + " in " + std::to_string(rec.in_time) + " out " +
           std::to_string(rec.out_time);
}

std::string show(const std::vector<_netnum_rec_t>& records) {
    std::string text;
    for (const _netnum_rec_t& rec : records)
        text += show(rec) + "\n";
    return text;
}

class NetnumJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_dir("netnum-journal");
        path_ = dir_ + "/netnumbase.tpn";
        remove(path_.c_str());
        rmdir(path_.c_str());
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", dir_.c_str());
        syslog_capture::clear();
    }
    void TearDown() override {
        remove(path_.c_str());
        rmdir(path_.c_str());
    }

    void put(const std::vector<_netnum_rec_t>& records, const std::string& tail = "") {
        write_text_file(path_, bytes_of(records) + tail);
    }
    // Whole records of the journal; the file must hold nothing else.
    std::vector<_netnum_rec_t> journal() {
        const std::string bytes = read_text_file(path_);
        EXPECT_EQ(bytes.size() % sizeof(_netnum_rec_t), 0u) << "torn journal";
        std::vector<_netnum_rec_t> records(bytes.size() / sizeof(_netnum_rec_t));
        memcpy(records.data(), bytes.data(), records.size() * sizeof(_netnum_rec_t));
        return records;
    }
    _netnum_outcome_t pass(const char* number, long time, const _access_entry_t& e, int barrier) {
        _netnum_outcome_t outcome = {0, 0, 0};
        netnumbase_update(number, time, e, barrier, &outcome);
        return outcome;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(NetnumJournal, EntriesAndExitsKeepOneRecordPerCar) {
    const _access_entry_t ivanov = entry("Ivanov", 2, 3600);
    pass("A123BC", 1000, ivanov, ENTRY); // creates the journal
    pass("B456CD", 1100, ivanov, ENTRY);
    EXPECT_EQ(show(journal()), "A123BC/Ivanov places 1 in 1000 out 0\n"
                               "B456CD/Ivanov places 1 in 1100 out 0\n");

    // Entering again without leaving: its own place is not counted.
    _netnum_outcome_t again = pass("A123BC", 1500, ivanov, ENTRY);
    EXPECT_EQ(again.used, 1);
    EXPECT_EQ(again.places_full, 0);

    _netnum_outcome_t out = pass("A123BC", 2000, ivanov, EXIT);
    EXPECT_EQ(out.used, 1);
    EXPECT_EQ(out.over_time, 0);
    // An exit never journalled before: recorded as gone, nothing counted.
    syslog_capture::clear();
    _netnum_outcome_t stranger = pass("X000XX", 2100, ivanov, EXIT);
    EXPECT_EQ(stranger.used, 0);
    EXPECT_EQ(logged(), "");
    EXPECT_EQ(show(journal()), "A123BC/Ivanov places 0 in 1500 out 2000\n"
                               "B456CD/Ivanov places 1 in 1100 out 0\n"
                               "X000XX/Ivanov places 0 in 0 out 2100\n");
}

// The owner's two other cars are inside; the limit decides the third.
TEST_F(NetnumJournal, PlacesLimitCountsTheOwnersOtherCars) {
    struct Case {
        int limit;
        bool full;
    };
    for (const Case& c : {Case{2, true}, Case{3, false}, Case{0, false}, Case{-1, true}}) {
        SCOPED_TRACE("limit " + std::to_string(c.limit));
        const std::vector<_netnum_rec_t> before = {
            record("C1", "Petrov", 1, 100), record("C2", "Petrov", 1, 200),
            record("C3", "Petrov", 0, 50, 60), record("D1", "Sidorov", 1, 300)};
        // A car of the journal, then a car new to it.
        put(before);
        const _netnum_outcome_t known = pass("C3", 1000, entry("Petrov", c.limit), ENTRY);
        EXPECT_EQ(known.used, 2);
        EXPECT_EQ(known.places_full, c.full ? 1 : 0);
        std::vector<_netnum_rec_t> after = before;
        if (!c.full) {
            after[2].places = 1;
            after[2].in_time = 1000;
        }
        EXPECT_EQ(show(journal()), show(after));

        put(before);
        const _netnum_outcome_t fresh = pass("C4", 1000, entry("Petrov", c.limit), ENTRY);
        EXPECT_EQ(fresh.places_full, c.full ? 1 : 0);
        after = before;
        if (!c.full)
            after.push_back(record("C4", "Petrov", 1, 1000));
        EXPECT_EQ(show(journal()), show(after));
    }
}

TEST_F(NetnumJournal, StayLimitIsStrictAndInSixtyFourBits) {
    struct Case {
        int32_t in_time;
        long time;
        int limit;
        bool over;
    };
    const Case cases[] = {
        {1000, 4600, 3600, false},           // exactly the limit
        {1000, 4601, 3600, true},            // one second more
        {0, 4000, 3600, true},               // never seen entering
        {0, 4000, 0, false},                 // no limit
        {INT32_MIN, 1000000000, 3600, true}, // would wrap in 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.in_time) + " to " + std::to_string(c.time));
        const _netnum_rec_t inside = record("E1", "Orlov", 1, c.in_time);
        put({inside});
        const _netnum_outcome_t outcome = pass("E1", c.time, entry("Orlov", 1, c.limit), EXIT);
        EXPECT_EQ(outcome.over_time, c.over ? 1 : 0);
        EXPECT_EQ(outcome.places_full, 0);
        _netnum_rec_t after = inside;
        if (!c.over) {
            after.places = 0;
            after.out_time = static_cast<int32_t>(c.time);
        }
        EXPECT_EQ(show(journal()), show(std::vector<_netnum_rec_t>{after}));
    }
}

// No owner means no places to count, but the car is inside all the same, so
// its exit within the time limit passes.
TEST_F(NetnumJournal, EntryWithoutOwnerIsRecordedInside) {
    const _access_entry_t nobody = entry("", 1, 3600);
    const _netnum_outcome_t in = pass("F1", 5000, nobody, ENTRY);
    EXPECT_EQ(in.places_full, 0);
    EXPECT_EQ(logged(), "netnumbase_scan_owner: netnumbase_scan_owner: no owner\n");
    EXPECT_EQ(show(journal()), "F1/ places 1 in 5000 out 0\n");

    put({record("F1", "", 0, 0, 4000)});
    pass("F1", 6000, nobody, ENTRY);
    EXPECT_EQ(pass("F1", 6000 + 3600, nobody, EXIT).over_time, 0);
    EXPECT_EQ(show(journal()), "F1/ places 0 in 6000 out 9600\n");
}

// Another service wrote these: one number fills all 13 bytes, fields hold
// bytes after their terminator, an owner fills all 32 bytes.
TEST_F(NetnumJournal, FieldsAreReadWithinTheirBytes) {
    _netnum_rec_t full;
    memset(&full, 0x7F, sizeof full);
    memcpy(full.number, "KKKKKKKKKKKKK", 13);
    memcpy(full.owner, "OWN\0GGGG", 8);
    full.places = 1;
    _netnum_rec_t padded = record("CAR1", "", 1, 10);
    memcpy(padded.number + 5, "ZZZZ", 4);
    memset(padded.owner, 'Q', sizeof padded.owner);
    put({full, padded});

    const _netnum_outcome_t car1 = pass("CAR1", 500, entry("OWN", 5), ENTRY);
    EXPECT_EQ(car1.used, 1);
    EXPECT_EQ(logged(), "netnumbase_scan_owner: netnumbase_scan_owner: searching for OWN\n"
                        "netnumbase_scan_owner: netnumbase_scan_owner: KKKKKKKKKKKKK[OWN] uses "
                        "1 places\n");
    // A twelve-character number is not the thirteen-byte one.
    pass("KKKKKKKKKKKK", 600, entry("OWN", 5), EXIT);
    const std::vector<_netnum_rec_t> after = journal();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[1].in_time, 500);
    EXPECT_EQ(std::string(after[1].number, 13), std::string("CAR1\0ZZZZ\0\0\0\0", 13));
    EXPECT_EQ(show(after[2]), "KKKKKKKKKKKK/OWN places 0 in 0 out 600");
}

TEST_F(NetnumJournal, TornTailIsOverwrittenAndSearchedPast) {
    put({record("G1", "Lee", 1, 100)}, std::string(20, '\xEE'));
    pass("G1", 200, entry("Lee", 0), EXIT); // in place, before the fragment
    pass("G2", 300, entry("Lee", 0), ENTRY);
    pass("G2", 400, entry("Lee", 0), EXIT);
    EXPECT_EQ(show(journal()), "G1/Lee places 0 in 100 out 200\n"
                               "G2/Lee places 0 in 300 out 400\n");
}

// Lets root's file access obey permission bits for the guard's life.
class PermissionsObeyed {
  public:
    PermissionsObeyed() {
        if (geteuid() != 0)
            return;
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~PermissionsObeyed() {
        if (dropped_)
            syscall(SYS_capset, &header_, saved_);
    }
    bool obeyed() const { return geteuid() != 0 || dropped_; }

  private:
    __user_cap_header_struct header_ = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool dropped_ = false;
};

// A failed open, reopen or write sets no flag, whatever the limits say.
TEST_F(NetnumJournal, FailuresAreLoggedAndSetNoFlag) {
    const _access_entry_t strict = entry("Kim", -1, 1);
    ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
    EXPECT_EQ(pass("H1", 100, strict, ENTRY).places_full, 0);
    EXPECT_EQ(logged(), "test_recognized_number: Can't open file " + path_ + "\n");
    rmdir(path_.c_str());

    put({record("H1", "Kim", 1, 0)});
    syslog_capture::clear();
    {
        // Room for exactly the one record already there.
        struct rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        struct rlimit limit = saved;
        limit.rlim_cur = sizeof(_netnum_rec_t);
        void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const _netnum_outcome_t outcome = pass("H2", 100, entry("", 0), EXIT);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
        EXPECT_EQ(outcome.over_time, 0);
        EXPECT_EQ(logged(), "test_recognized_number: Can't write to file: " + path_ + "\n");
    }

    ASSERT_EQ(chmod(path_.c_str(), 0200), 0);
    syslog_capture::clear();
    PermissionsObeyed guard;
    if (!guard.obeyed())
        GTEST_SKIP() << "cannot give up root's file access";
    EXPECT_EQ(pass("H1", 100, strict, EXIT).over_time, 0);
    EXPECT_EQ(logged(), "test_recognized_number: Can't reopen file " + path_ + "\n");
}

TEST_F(NetnumJournal, OwnerCountOpensItsOwnReadOnlyStream) {
    int used = 7;
    EXPECT_EQ(netnumbase_scan_owner(used, "Kim", "J1"), 0);
    EXPECT_EQ(used, 7);
    put({record("J1", "Kim", 1, 0), record("J2", "Kim", 1, 0), record("J3", "Kim", -1, 0),
         record("J4", "Kima", 1, 0)});
    EXPECT_EQ(netnumbase_scan_owner(used, "Kim", "J1"), 1);
    EXPECT_EQ(used, 0);
    EXPECT_EQ(netnumbase_scan_owner(used, "", "J1"), 0);
    EXPECT_EQ(logged(), "netnumbase_scan_owner: netnumbase_scan_owner: searching for Kim\n"
                        "netnumbase_scan_owner: netnumbase_scan_owner: Can't open file " +
                            path_ +
                            "\n"
                            "netnumbase_scan_owner: netnumbase_scan_owner: searching for Kim\n"
                            "netnumbase_scan_owner: netnumbase_scan_owner: J2[Kim] uses 1 places\n"
                            "netnumbase_scan_owner: netnumbase_scan_owner: J3[Kim] uses 0 places\n"
                            "netnumbase_scan_owner: netnumbase_scan_owner: no owner\n");

    remove(path_.c_str());
    ASSERT_EQ(mkdir(path_.c_str(), 0700), 0); // opens, but cannot be read
    syslog_capture::clear();
    EXPECT_EQ(netnumbase_scan_owner(used, "Kim", "J1"), 0);
    EXPECT_EQ(syslog_capture::matching("Can't read"),
              std::vector<std::string>{"netnumbase_scan_owner: netnumbase_scan_owner: Can't read "
                                       "from file " +
                                       path_ + "\n"});
}

// The entry and the exit service journal the same new car at the same moment,
// car after car: neither appends a car that the other has just appended.
TEST_F(NetnumJournal, TwoServicesNeverDuplicateACar) {
    const int cars = 200;
    int to_exit[2];
    int to_entry[2];
    ASSERT_EQ(pipe(to_exit), 0);
    ASSERT_EQ(pipe(to_entry), 0);
    const int barriers[2] = {ENTRY, EXIT};
    // Cars journalled long ago: each search takes a while, as on a real board.
    std::vector<_netnum_rec_t> earlier(10000, record("OLD", "Other", 0, 1, 2));
    put(earlier);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            // Both meet before each car, so their updates overlap.
            const int tell = c == 0 ? to_exit[1] : to_entry[1];
            const int hear = c == 0 ? to_entry[0] : to_exit[0];
            char met = 0;
            for (int car = 0; car < cars; ++car) {
                if (write(tell, "m", 1) != 1 || read(hear, &met, 1) != 1)
                    _exit(1);
                const std::string number = "N" + std::to_string(car);
                _netnum_outcome_t outcome = {0, 0, 0};
                netnumbase_update(number.c_str(), 1000, entry("Fleet", 0), barriers[c], &outcome);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int fd : {to_exit[0], to_exit[1], to_entry[0], to_entry[1]})
        close(fd);
    std::set<std::string> numbers;
    const std::vector<_netnum_rec_t> records = journal();
    for (const _netnum_rec_t& rec : records)
        numbers.insert(std::string(rec.number, strnlen(rec.number, sizeof rec.number)));
    EXPECT_EQ(numbers.size(), static_cast<size_t>(cars) + 1);
    EXPECT_EQ(records.size(), earlier.size() + cars);
}

} // namespace
