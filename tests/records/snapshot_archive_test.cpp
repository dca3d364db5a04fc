#include "records/snapshot_archive.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/gv.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/golden.h"
#include "tests/common/records.h"
#include "tests/common/syslog_capture.h"

namespace {

const int32_t kExampleTime = 1237010709; // 2009-03-14 06:05:09 UTC
const std::string kName = "2009-03-14_06-05-09_A-23BC.jpeg";
const std::string kJpeg("\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\xFF\xD9", 14);

_parking_rec_t example_record(const std::string& text = "", const std::string& summary = "") {
    return parking_record(kExampleTime, "A?23BC", 0, 0, text, summary);
}

std::string archive(const _parking_rec_t& rec) {
    save_jpeg(rec, reinterpret_cast<const unsigned char*>(kJpeg.data()),
              static_cast<long>(kJpeg.size()));
    return std::string(reinterpret_cast<const char*>(&rec), sizeof rec);
}

// Three storages in a scratch folder, named by a streams.ini there, and a
// zone two hours east of UTC without daylight saving.
class SnapshotArchive : public ::testing::Test {
  protected:
    void SetUp() override {
        root = empty_scratch_dir("records-archive");
        setenv("VELM_CONF_DIR", root.c_str(), 1);
        setenv("TZ", "EET-2", 1);
        snprintf(gv_deviceid, sizeof gv_deviceid, "unknown");
        gv.external_program[0] = '\0';
        for (char* mountpoint : gv_mountpoints)
            mountpoint[0] = '\0';
        syslog_capture::clear();
    }
    void TearDown() override { EXPECT_EQ(syslog_capture::all().size(), 0u) << "silent"; }

    std::string mount(int i) const { return root + "/m" + std::to_string(i); }
    std::string device(int i) const { return mount(i) + "/unknown"; }
    std::string jpegdata(int i) const { return device(i) + "/jpegdata"; }
    void make_storage(int i, bool with_jpegdata = true) const {
        mkdir(mount(i).c_str(), 0700);
        mkdir(device(i).c_str(), 0700);
        if (with_jpegdata)
            mkdir(jpegdata(i).c_str(), 0700);
    }
    // An empty mount point is a storage switched off ("ON" 0).
    void configure(const std::string& disc0, const std::string& disc1,
                   const std::string& usbdisc) const {
        std::string ini;
        for (const auto& [section, where] :
             {std::pair{"disc0", disc0}, {"disc1", disc1}, {"usbdisc", usbdisc}})
            ini += std::string("[") + section + "]\nON = " + (where.empty() ? "0" : "1") +
                   "\nmountpoint = " + (where.empty() ? mount(0) : where) + "\n";
        write_text_file(root + "/streams.ini", ini);
    }

    std::string root;
};

// The journal's columns are in golden/archive.csv.
TEST_F(SnapshotArchive, JournalColumnsNamesAndFiles) {
    make_storage(0);
    configure(mount(0), "", "");
    const struct {
        int32_t time;
        const char* number;
        uint8_t in_list;
        int8_t access;
        std::string text, summary;
    } rows[] = {
        {kExampleTime, "A?23BC", 0, 0, "Hello", "Owner"},
        {kExampleTime, "A?23BC", 1, -1, "", ""},
        {kExampleTime, "A?23BC", 1, 1, "", ""},
        // A text that fills its field has no terminator: the summary follows.
        {kExampleTime + 1, "X*1?", 0, 0, std::string(64, 'x'), cp1251("Водитель: выезд (3-1)")},
        // The name's stamp is UTC, the columns local time: the next day here.
        {1237069800, "B777OP77RUS1", 1, 1, "", ""},
    };
    std::string records;
    for (const auto& row : rows)
        records += archive(
            parking_record(row.time, row.number, row.in_list, row.access, row.text, row.summary));
    EXPECT_TRUE(
        matches_golden("records/golden/archive.csv", read_text_file(device(0) + "/passbase.csv")));
    for (std::string line : read_lines(device(0) + "/passbase.csv")) {
        line.pop_back();
        EXPECT_TRUE(exists(jpegdata(0) + "/" + line.substr(line.rfind(';') + 1))) << line;
    }
    EXPECT_EQ(read_text_file(device(0) + "/passbase.tpp"), records);
    EXPECT_EQ(read_text_file(jpegdata(0) + "/" + kName), kJpeg);
    EXPECT_FALSE(exists(jpegdata(0) + "/" + kName + ".tmp"));
    EXPECT_EQ(read_text_file(gv_last_recognized_jpeg), kJpeg);
    EXPECT_FALSE(exists(std::string(gv_last_recognized_jpeg) + ".tmp"));
}

// The storages are read for every passage; one without a writable jpegdata
// folder gets nothing, not even the journals one folder higher.
TEST_F(SnapshotArchive, MountPointsAreServedAsConfiguredNow) {
    make_storage(0);
    make_storage(1, false);
    make_storage(2);
    // Torn by a power cut; the next record starts on a boundary.
    write_text_file(device(2) + "/passbase.tpp", "torn");
    configure("", mount(1), mount(2));
    const std::string first = archive(example_record());

    EXPECT_FALSE(exists(device(0) + "/passbase.tpp"));
    EXPECT_FALSE(exists(device(1) + "/passbase.tpp"));
    EXPECT_FALSE(exists(device(1) + "/passbase.csv"));
    EXPECT_EQ(read_text_file(jpegdata(2) + "/" + kName), kJpeg);
    EXPECT_EQ(read_text_file(device(2) + "/passbase.tpp"), first);
    const std::string line = read_text_file(device(2) + "/passbase.csv");
    EXPECT_EQ(line, "14-03-2009;08:05:09;unknown;A?23BC;0;0;;;" + kName + "\n");

    configure(mount(0), "", "");
    _parking_rec_t later = example_record();
    later.time += 60;
    const std::string second = archive(later); // archived before the file is read
    EXPECT_EQ(read_text_file(device(0) + "/passbase.tpp"), second);
    EXPECT_EQ(read_text_file(device(2) + "/passbase.tpp"), first);
    EXPECT_EQ(read_text_file(device(2) + "/passbase.csv"), line);
}

// A power cut in the middle of a snapshot leaves its temporary file; the
// service that starts again clears it from the storages it archives to.
TEST_F(SnapshotArchive, TemporarySnapshotsOfACutGoAtTheFirstPassage) {
    const std::string cut = root + "/cut";
    for (const std::string& folder : {cut, cut + "/unknown", cut + "/unknown/jpegdata"})
        mkdir(folder.c_str(), 0700);
    const std::string left = cut + "/unknown/jpegdata/2009-03-14_06-00-00_X1.jpeg.tmp";
    write_text_file(left, "half");
    write_text_file(cut + "/unknown/jpegdata/notes.tmp", "not ours");
    write_text_file(cut + "/unknown/jpegdata/old.jpeg", kJpeg);
    configure(cut, "", "");
    archive(example_record());
    EXPECT_FALSE(exists(left));
    EXPECT_TRUE(exists(cut + "/unknown/jpegdata/notes.tmp"));
    EXPECT_TRUE(exists(cut + "/unknown/jpegdata/old.jpeg"));
    EXPECT_TRUE(exists(cut + "/unknown/jpegdata/" + kName));

    // Only then: the listing is not repeated for every passage.
    const std::string later = cut + "/unknown/jpegdata/2009-03-14_06-05-00_Y2.jpeg.tmp";
    write_text_file(later, "half");
    archive(example_record());
    EXPECT_TRUE(exists(later));
}

// A device id that would split the CSV journals' columns is named at
// start-up: a control byte below the space is one; the space and '~', the
// printable ends, are not.
TEST_F(SnapshotArchive, DeviceIdsThatSplitTheCsvColumnsAreNamed) {
    const struct {
        const char* id;
        size_t lines;
    } rows[] = {{"gate\0371", 1}, {"gate 1~", 0}};
    configure("", "", "");
    for (const auto& row : rows) {
        snprintf(gv_deviceid, sizeof gv_deviceid, "%s", row.id);
        syslog_capture::clear();
        check_archive_settings();
        EXPECT_EQ(syslog_capture::count(std::string("check_archive_settings: device id \"") +
                                        row.id +
                                        "\" holds ';' or a byte outside printable ASCII: the "
                                        "CSV journals will show wrong columns"),
                  row.lines)
            << row.id;
        EXPECT_EQ(syslog_capture::all().size(), row.lines) << row.id;
    }
    syslog_capture::clear();
}

// A path cut to its buffer could name another file: that step is skipped.
TEST_F(SnapshotArchive, APathTooLongSkipsItsStep) {
    make_storage(0);
    // Extra slashes name the same folder. The JPEG path is 4092 characters
    // long, so only its temporary name, of 4096, does not fit by one; a cut
    // one would still be renamed to the JPEG's name.
    const size_t tail = std::string("/unknown/jpegdata/").size() + kName.size();
    configure(mount(0) + std::string(4092 - mount(0).size() - tail, '/'), "", "");
    const std::string record = archive(example_record());
    EXPECT_FALSE(exists(jpegdata(0) + "/" + kName));
    EXPECT_EQ(read_text_file(device(0) + "/passbase.tpp"), record);
}

} // namespace
