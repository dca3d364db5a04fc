#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "access/netpass_journal.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/records.h"
#include "tests/common/syslog_capture.h"

namespace {

// "Разрешено" in CP1251.
const char ALLOWED[] = "\xD0\xE0\xE7\xF0\xE5\xF8\xE5\xED\xEE";

class NetpassJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string dir = empty_scratch_dir("netpass-journal");
        tpn_ = dir + "/netpassbase.tpn";
        csv_ = dir + "/netpassbase.csv";
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", dir.c_str());
        snprintf(gv_deviceid, sizeof gv_deviceid, "gate-exit");
        gv_access_by_button = 0x101; // only its low byte is journalled
        // The text line is in local time, the record in UTC; nothing else in
        // this program reads the zone.
        setenv("TZ", "MSK-3", 1);

        // 01-01-1971 01:01:01 UTC, admitted at the exit.
        rec_ = parking_record(365 * 86400 + 3661, "A123BC77", 1, -1);
        memset(&pass_, 0, sizeof pass_);
        snprintf(pass_.info, sizeof pass_.info, "Ivanov,2,01:30");
        syslog_capture::clear();
    }
    void TearDown() override { gv_access_by_button = 0; }
    void write_pass(const char* message = ALLOWED) { netpassbase_write(rec_, message, &pass_); }

    std::string tpn_, csv_;
    _parking_rec_t rec_;
    _netpass_rec_t pass_;
};

const std::string LINE =
    std::string("01-01-1971;04:01:01;A123BC77;2;1;-1;") + ALLOWED + ";Ivanov,2,01:30;1;gate-exit\n";

TEST_F(NetpassJournal, RecordAndLineOfAnAdmittedExit) {
    write_pass();
    write_pass();
    EXPECT_EQ(read_text_file(csv_), LINE + LINE);
    _netpass_rec_t expected =
        netpass_record(rec_.time, "A123BC77", -1, ALLOWED, "Ivanov,2,01:30", "gate-exit");
    expected.by_button = 1;
    EXPECT_EQ(read_text_file(tpn_), bytes_of(expected) + bytes_of(expected));
    EXPECT_EQ(syslog_capture::logged(), "");
}

// `info` and the device id may fill their fields without a terminator; the
// line takes each within its field.
TEST_F(NetpassJournal, FullFieldsStayWithinTheirColumns) {
    memset(pass_.info, 'I', sizeof pass_.info);
    memset(gv_deviceid, 'D', sizeof gv_deviceid);
    const std::string message(80, 'M'); // longer than the field
    write_pass(message.c_str());
    EXPECT_EQ(read_text_file(csv_), "01-01-1971;04:01:01;A123BC77;2;1;-1;" + std::string(63, 'M') +
                                        ";" + std::string(32, 'I') + ";1;" + std::string(64, 'D') +
                                        "\n");
    EXPECT_EQ(read_text_file(tpn_).substr(20, 64), std::string(63, 'M') + '\0');
}

} // namespace
