#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "access/netpass_journal.h"
#include "core/gv.h"
#include "tests/common/file_size_limit.h"
#include "tests/common/files.h"
#include "tests/common/syslog_capture.h"

namespace {

// "Разрешено" in CP1251.
const char ALLOWED[] = "\xD0\xE0\xE7\xF0\xE5\xF8\xE5\xED\xEE";

class NetpassJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_dir("netpass-journal");
        tpn_ = dir_ + "/netpassbase.tpn";
        csv_ = dir_ + "/netpassbase.csv";
        clean();
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", dir_.c_str());
        snprintf(gv_deviceid, sizeof gv_deviceid, "gate-exit");
        gv_access_by_button = 0x101; // only its low byte is journalled
        setenv("TZ", "UTC0", 1);     // nothing else in this program reads the zone

        memset(&rec_, 0, sizeof rec_);
        rec_.time = 365 * 86400 + 3661; // 01-01-1971 01:01:01
        snprintf(rec_.number, sizeof rec_.number, "A123BC77");
        rec_.kind = 2;
        rec_.in_list = 1;
        rec_.access = -1; // admitted at the exit
        memset(&pass_, 0, sizeof pass_);
        snprintf(pass_.info, sizeof pass_.info, "Ivanov,2,01:30");
        syslog_capture::clear();
    }
    void TearDown() override {
        clean();
        gv_access_by_button = 0;
    }
    void clean() {
        for (const std::string& path : {tpn_, csv_}) {
            remove(path.c_str());
            rmdir(path.c_str());
        }
    }
    void write_pass(const char* message = ALLOWED) { netpassbase_write(rec_, message, &pass_); }

    std::string dir_, tpn_, csv_;
    _parking_rec_t rec_;
    _netpass_rec_t pass_;
};

const std::string LINE =
    std::string("01-01-1971;01:01:01;A123BC77;2;1;-1;") + ALLOWED + ";Ivanov,2,01:30;1;gate-exit\n";

TEST_F(NetpassJournal, RecordAndLineOfAnAdmittedExit) {
    write_pass();
    write_pass();
    EXPECT_EQ(read_text_file(csv_), LINE + LINE);
    const std::string bytes = read_text_file(tpn_);
    ASSERT_EQ(bytes.size(), 2 * sizeof(_netpass_rec_t));
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xCD\x41\xE1\x01", 4)); // little-endian time
    EXPECT_EQ(bytes.substr(4, 13), std::string("A123BC77\0\0\0\0\0", 13));
    EXPECT_EQ(bytes.substr(17, 3), std::string("\x02\x01\xFF", 3));
    EXPECT_EQ(bytes.substr(20, 64), ALLOWED + std::string(64 - strlen(ALLOWED), '\0'));
    EXPECT_EQ(bytes.substr(84, 32), "Ivanov,2,01:30" + std::string(18, '\0'));
    EXPECT_EQ(bytes.substr(116, 1), "\x01");
    EXPECT_EQ(bytes.substr(117, 64), "gate-exit" + std::string(55, '\0'));
    EXPECT_EQ(bytes.substr(181, 3), std::string(3, '\0'));
    EXPECT_EQ(bytes.substr(184), bytes.substr(0, 184));
    EXPECT_EQ(syslog_capture::logged(), "");
}

// `info` and the device id may fill their fields without a terminator; the
// line takes each within its field.
TEST_F(NetpassJournal, FullFieldsStayWithinTheirColumns) {
    memset(pass_.info, 'I', sizeof pass_.info);
    memset(gv_deviceid, 'D', sizeof gv_deviceid);
    const std::string message(80, 'M'); // longer than the field
    write_pass(message.c_str());
    EXPECT_EQ(read_text_file(csv_), "01-01-1971;01:01:01;A123BC77;2;1;-1;" + std::string(63, 'M') +
                                        ";" + std::string(32, 'I') + ";1;" + std::string(64, 'D') +
                                        "\n");
    EXPECT_EQ(read_text_file(tpn_).substr(20, 64), std::string(63, 'M') + '\0');
}

TEST_F(NetpassJournal, LineIsWrittenWhateverBecameOfTheRecord) {
    ASSERT_EQ(mkdir(tpn_.c_str(), 0700), 0);
    write_pass();
    EXPECT_EQ(read_text_file(csv_), LINE);
    EXPECT_EQ(syslog_capture::logged(), "test_recognized_number: Can't open file " + tpn_ + "\n");
    rmdir(tpn_.c_str());
    remove(csv_.c_str());

    // A disk with no room for the record; the line, shorter, still fits.
    syslog_capture::clear();
    {
        FileSizeLimit full_disk(LINE.size());
        ASSERT_TRUE(full_disk.set());
        write_pass();
    }
    EXPECT_EQ(syslog_capture::logged(),
              "test_recognized_number: Can't write to file " + tpn_ + "\n");
    EXPECT_EQ(read_text_file(tpn_), "");
    EXPECT_EQ(read_text_file(csv_), LINE);

    // A text file that cannot be opened is not logged.
    remove(csv_.c_str());
    ASSERT_EQ(mkdir(csv_.c_str(), 0700), 0);
    syslog_capture::clear();
    write_pass();
    EXPECT_EQ(syslog_capture::logged(), "");
    EXPECT_EQ(read_text_file(tpn_).size(), sizeof(_netpass_rec_t));
}

} // namespace
