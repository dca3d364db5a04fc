// A barrier of its own for each decision test: a net-base folder, one
// storage mount point, the state manager daemon with an observer that sees
// its events, the stream with a reader, and an access base loaded from a
// file. Every output of a decision can be read back from there.
#pragma once

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_base.h"
#include "access/access_decision.h"
#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "links/shmgr_link.h"
#include "support/gv.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/records.h"
#include "tests/common/syslog_capture.h"
#include "tests/shmgr/stream_fixture.h"
#include "tests/statemgr/daemon_fixture.h"

// 2023-11-14 22:13:20 UTC.
const long passage_time = 1700000000;

inline _access_rec_t access_record(const char* pattern, const char* info, const char* text = "",
                                   int32_t from = 0, int32_t to = INT32_MAX) {
    _access_rec_t rec = {};
    put_field(rec.number, pattern);
    put_field(rec.info, info);
    put_field(rec.text, text);
    rec.period_from = from;
    rec.period_to = to;
    return rec;
}

class DecisionTest : public StreamTest {
  protected:
    void SetUp() override {
        StreamTest::SetUp();
        root_ = empty_scratch_dir("decision");
        net_ = root_ + "/net";
        archive_ = root_ + "/disc0/unknown";
        for (const std::string& dir :
             {root_, net_, root_ + "/conf", root_ + "/disc0", archive_, archive_ + "/jpegdata"})
            mkdir(dir.c_str(), 0700);
        write_text_file(root_ + "/conf/streams.ini",
                        "[disc0]\nON = 1\nmountpoint = " + root_ + "/disc0\n");
        setenv("VELM_CONF_DIR", (root_ + "/conf").c_str(), 1);
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", net_.c_str());
        snprintf(gv_deviceid, sizeof gv_deviceid, "unknown");
        gv.external_program[0] = '\0';
        gv_barrier_type = 1;
        gv_access_by_button = 0;
        setenv("TZ", "UTC", 1);
        tzset();

        ASSERT_TRUE(daemon_.start());
        observer_ = started_client("observer");
        ASSERT_NE(observer_, nullptr);
        ASSERT_EQ(stmcc_watch(observer_), STMCC_OK);
        path_ = getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin";
#ifndef DRAVEL_CROSSCOMPILED
        setenv("PATH", (std::string(STMGRCLIENT_DIR) + ":" + path_).c_str(), 1);
#endif
        ASSERT_EQ(connect_shmgr(), 0);
        syslog_capture::clear();
    }

    void TearDown() override {
        disconnect_shmgr();
        free_access_base();
        stmcc_delete(observer_);
        setenv("PATH", path_.c_str(), 1);
        remove_tree(root_);
        StreamTest::TearDown();
    }

    void load_base(const std::vector<_access_rec_t>& records) {
        write_text_file(root_ + "/accessbase.tpa", bytes_of(records));
        load_access_base((root_ + "/accessbase.tpa").c_str());
        syslog_capture::clear();
    }

    // One decision on a small frame; a whole frame costs an encoding that
    // only the JPEG tests need.
    void decide(long time, const char* number, int barrier_type = 1) {
        gv_barrier_type = barrier_type;
        std::vector<unsigned char> frame(32 * 16 * 3 / 2, 100);
        test_recognized_number(time, number, 2, frame.data(), 32, 16);
    }

    // The barrier events raised since the last call: the observer raises a
    // mark of its own and counts what the daemon sent before it. Under
    // emulation the shell cannot run the board's client, so the event cannot
    // be seen there; everything else is checked all the same.
    void expect_barrier_events(int expected) {
#ifndef DRAVEL_CROSSCOMPILED
        EXPECT_EQ(stmcc_event_notify(observer_, "e_test_mark", 1), STMCC_OK);
        int count = 0;
        stmcc_notice_t notice = {};
        while (stmcc_wait_for_notice(observer_, &notice, 60000) == STMCC_OK) {
            if (strcmp(notice.name, "e_test_mark") == 0)
                break;
            count += strcmp(notice.name, "e_access_grntd") == 0 ? 1 : 0;
        }
        EXPECT_STREQ(notice.name, "e_test_mark") << "the mark did not come back";
        EXPECT_EQ(count, expected);
#else
        (void)expected;
#endif
    }

    // The record of the next stream block; a zeroed record when none came.
    _parking_rec_t published() {
        _parking_rec_t rec;
        memset(&rec, 0, sizeof rec);
        EXPECT_TRUE(next());
        EXPECT_GE(info.length, 116);
        memcpy(&rec, data.data(), sizeof rec);
        return rec;
    }

    std::vector<_netnum_rec_t> occupancy() {
        return records_of<_netnum_rec_t>(net_ + "/netnumbase.tpn");
    }
    std::vector<_netpass_rec_t> passes() {
        return records_of<_netpass_rec_t>(net_ + "/netpassbase.tpn");
    }

    std::string root_, net_, archive_;
    StateManagerDaemon daemon_;
    stmcc_t* observer_ = nullptr;
    std::string path_;
};
