#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "access/netnum_journal.h"
#include "support/journal_file.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/records.h"
#include "tests/common/syslog_capture.h"

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

// One line per record; number and owner within their fields.
std::string show(const std::vector<_netnum_rec_t>& records) {
    std::string text;
    for (const _netnum_rec_t& r : records)
        text += field(r.number) + "/" + field(r.owner) + " places " + std::to_string(r.places) +
                " in " + std::to_string(r.in_time) + " out " + std::to_string(r.out_time) + "\n";
    return text;
}

class NetnumJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string dir = empty_scratch_dir("netnum-journal");
        path_ = dir + "/netnumbase.tpn";
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", dir.c_str());
        syslog_capture::clear();
    }
    void put(const std::vector<_netnum_rec_t>& records, const std::string& tail = "") {
        write_text_file(path_, bytes_of(records) + tail);
    }
    std::vector<_netnum_rec_t> journal() { return records_of<_netnum_rec_t>(path_); }
    _netnum_outcome_t pass(const char* number, long time, const _access_entry_t& e, int barrier) {
        _netnum_outcome_t outcome = {0, 0, 0};
        netnumbase_update(number, time, e, barrier, false, &outcome);
        return outcome;
    }

    std::string path_;
};

// Two other cars of the owner are inside when C3, inside too (its own place
// is not counted), and then C4 (new) come in; a refused car's record stays
// as it was.
TEST_F(NetnumJournal, PlacesLimitCountsTheOwnersOtherCars) {
    struct Case {
        int limit;
        bool c3_full, c4_full;
    };
    for (const Case& c :
         {Case{2, true, true}, Case{3, false, true}, Case{0, false, false}, Case{-1, true, true}}) {
        SCOPED_TRACE("limit " + std::to_string(c.limit));
        std::vector<_netnum_rec_t> expected = {
            netnum_record("C1", "Petrov", 1, 100), netnum_record("C2", "Petrov", 1, 200),
            netnum_record("C3", "Petrov", 1, 50, 60), netnum_record("D1", "Sidorov", 1, 300)};
        put(expected);
        const _netnum_outcome_t c3 = pass("C3", 1000, entry("Petrov", c.limit), ENTRY);
        const _netnum_outcome_t c4 = pass("C4", 1000, entry("Petrov", c.limit), ENTRY);
        EXPECT_EQ(c3.used, 2);
        EXPECT_EQ(c3.places_full, c.c3_full ? 1 : 0);
        EXPECT_EQ(c4.used, 3);
        EXPECT_EQ(c4.places_full, c.c4_full ? 1 : 0);
        if (!c.c3_full)
            expected[2] = netnum_record("C3", "Petrov", 1, 1000, 60);
        if (!c.c4_full)
            expected.push_back(netnum_record("C4", "Petrov", 1, 1000));
        EXPECT_EQ(show(journal()), show(expected));
    }
}

TEST_F(NetnumJournal, StayLimitIsStrictAndInSixtyFourBits) {
    struct Case {
        int32_t in_time;
        long time;
        int limit;
        bool over;
    };
    for (const Case& c : {
             Case{1000, 4600, 3600, false},           // exactly the limit
             Case{1000, 4601, 3600, true},            // one second more
             Case{0, 4000, 3600, true},               // never seen entering
             Case{0, 4000, 0, false},                 // no limit
             Case{INT32_MIN, 1000000000, 3600, true}, // wraps in 32 bits
         }) {
        SCOPED_TRACE(std::to_string(c.in_time) + " to " + std::to_string(c.time));
        put({netnum_record("E1", "Orlov", 1, c.in_time)});
        EXPECT_EQ(pass("E1", c.time, entry("Orlov", 1, c.limit), EXIT).over_time, c.over ? 1 : 0);
        const _netnum_rec_t after = c.over ? netnum_record("E1", "Orlov", 1, c.in_time)
                                           : netnum_record("E1", "Orlov", 0, c.in_time, c.time);
        EXPECT_EQ(show(journal()), show({after}));
    }
}

// Another service wrote these: a number fills all 13 bytes, fields hold
// bytes after their terminator, an owner fills all 32 bytes.
TEST_F(NetnumJournal, FieldsAreReadWithinTheirBytes) {
    _netnum_rec_t full;
    memset(&full, 0x7F, sizeof full);
    memcpy(full.number, "KKKKKKKKKKKKK", 13);
    memcpy(full.owner, "OWN\0GGGG", 8);
    full.places = 1;
    _netnum_rec_t padded = netnum_record("CAR1", "", 1, 10);
    memcpy(padded.number + 5, "ZZZZ", 4);
    memset(padded.owner, 'Q', sizeof padded.owner);
    put({full, padded});

    EXPECT_EQ(pass("CAR1", 500, entry("OWN", 5), ENTRY).used, 1);
    EXPECT_EQ(syslog_capture::logged(),
              "netnumbase_scan_owner: netnumbase_scan_owner: searching for OWN\n"
              "netnumbase_scan_owner: netnumbase_scan_owner: KKKKKKKKKKKKK[OWN] uses "
              "1 places\n");
    // A twelve-character number is not the thirteen-byte one.
    pass("KKKKKKKKKKKK", 600, entry("OWN", 5), EXIT);
    const std::vector<_netnum_rec_t> after = journal();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(std::string(after[1].number, 13), std::string("CAR1\0ZZZZ\0\0\0\0", 13));
    EXPECT_EQ(after[1].in_time, 500);
    EXPECT_EQ(show({after[2]}), "KKKKKKKKKKKK/OWN places 0 in 0 out 600\n");
}

// The widest tear: one byte short of a record.
TEST_F(NetnumJournal, TornTailIsOverwrittenAndSearchedPast) {
    put({netnum_record("G1", "Lee", 1, 100)}, std::string(sizeof(_netnum_rec_t) - 1, '\xEE'));
    pass("G1", 200, entry("Lee", 0), EXIT); // in place, before the fragment
    pass("G2", 300, entry("Lee", 0), ENTRY);
    pass("G2", 400, entry("Lee", 0), EXIT);
    EXPECT_EQ(show(journal()), "G1/Lee places 0 in 100 out 200\n"
                               "G2/Lee places 0 in 300 out 400\n");
}

// Written by the update in the child when its lock wait begins.
int wait_begun = -1;

// The other service holds the journal while it appends the car that this one
// is deciding on: the update waits before it reads, then finds the car.
TEST_F(NetnumJournal, UpdateReadsOnlyUnderItsLock) {
    put({netnum_record("OLD", "Other", 0, 1, 2)});
    const int other = open(path_.c_str(), O_RDWR);
    struct flock whole_file;
    memset(&whole_file, 0, sizeof whole_file);
    whole_file.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(other, F_SETLK, &whole_file), 0);
    int waiting[2];
    ASSERT_EQ(pipe(waiting), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        wait_begun = waiting[1];
        journal_lock_wait_ends([] {
            if (wait_begun >= 0 && write(wait_begun, "w", 1) == 1)
                wait_begun = -1;
            return false;
        });
        pass("K1", 500, entry("Fleet", 0), ENTRY);
        _exit(0);
    }
    close(waiting[1]);
    char word = 0;
    const bool waited = read(waiting[0], &word, 1) == 1;
    close(waiting[0]);
    const _netnum_rec_t appended = netnum_record("K1", "Fleet", 1, 400);
    EXPECT_EQ(pwrite(other, &appended, sizeof appended, sizeof appended),
              static_cast<ssize_t>(sizeof appended));
    close(other);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(waited) << "the update did not wait for the lock";
    EXPECT_EQ(show(journal()), "OLD/Other places 0 in 1 out 2\n"
                               "K1/Fleet places 1 in 500 out 0\n");
}

} // namespace

// A journal read in several blocks: the owner's cars in every block count,
// the car's record late in the journal is found and rewritten in its place,
// and a new car goes after the last whole record.
TEST_F(NetnumJournal, LongJournalIsSearchedAndCountedWhole) {
    std::vector<_netnum_rec_t> records;
    for (int i = 0; i < 1500; ++i)
        records.push_back(netnum_record(("N" + std::to_string(i)).c_str(), "Other", 1, i));
    for (int at : {3, 700, 1400})
        records[at] = netnum_record(("P" + std::to_string(at)).c_str(), "Petrov", 1, 10);
    records[1300] = netnum_record("C1", "Petrov", 0, 50, 60);
    put(records, std::string(20, 'x'));

    const _netnum_outcome_t known = pass("C1", 1000, entry("Petrov", 4), ENTRY);
    EXPECT_EQ(known.used, 3);
    EXPECT_EQ(known.places_full, 0);
    records[1300] = netnum_record("C1", "Petrov", 1, 1000, 60);
    EXPECT_EQ(pass("C2", 1000, entry("Petrov", 5), ENTRY).used, 4);
    records.push_back(netnum_record("C2", "Petrov", 1, 1000));
    EXPECT_EQ(show(journal()), show(records));
}
