// The journal reader over the service's journals and archive records; the
// steps and what the reader wrote are in tests/tools/golden/journal-*.txt.
#include <cstring>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/common/records.h"
#include "tests/tools/tool_run.h"
#include "tools/journal-reader/reader_cli.h"

namespace {

const int32_t T0 = 1237010709; // 2009-03-14 08:05:09 in a zone two hours east
const std::string IVANOV = cp1251("Иванов");

std::string pass(int32_t time, const char* number, int access,
                 const std::string& info = IVANOV + ",2,1:30") {
    return bytes_of(netpass_record(time, number, access, cp1251("Разрешено"), info, "gate-1"));
}

class JournalReader : public ToolTest {
  protected:
    JournalReader() : ToolTest(journal_reader_main, "journal-reader", {"journal-reader"}) {}
};

} // namespace

// Fields that fill their whole width without a terminator are read within
// it; CP1251 comes out as UTF-8 and the columns line up by characters, not
// bytes. Cars without an owner are inside but count against nobody.
TEST_F(JournalReader, OccupancyShowsWhoIsInsideThePlacesPerOwnerAndEveryRecord) {
    _netnum_rec_t full = netnum_record("", "", 1, T0 + 291, T0 - 10709);
    memset(full.number, 'X', sizeof full.number);
    memset(full.owner, cp1251("Ж")[0], sizeof full.owner);
    file("netnumbase.tpn",
         bytes_of(netnum_record("A123BC77", IVANOV.c_str(), 1, T0)) + bytes_of(full) +
             bytes_of(netnum_record("K555KK", IVANOV.c_str(), 0, T0 - 709, T0 - 209)) +
             bytes_of(netnum_record("M001MM", "", 1, T0 + 1291)));
    EXPECT_TRUE(script_matches("journal-occupancy.txt"));
}

// The record and the text line of one decision give the same row. The
// line's ';' inside the info text splits it into an extra column, which is
// joined back; CSV output quotes what needs quoting. An archive record is
// filed under the folder it lies in and names its snapshot as the archive
// does (UTC, wildcards as "-"); its line writes an admitted exit as 255,
// shown as -1 like the record's. A control byte is shown escaped.
TEST_F(JournalReader, RecordsAndTextLinesOfAPassageShowTheSameRow) {
    file("netpassbase.tpn", pass(T0, "A123BC77", -1, IVANOV + ";\"2\",1:30"));
    std::string text(64, '\xE0'); // 64 letters, no terminator
    text[1] = '\x1B';
    _parking_rec_t rec = parking_record(T0, "A?23BC", 1, -1, text, IVANOV + ": x (0-1)");
    rec.kind = 3;
    mkdir((dir_ + "/dev7").c_str(), 0700);
    file("dev7/passbase.tpp", bytes_of(rec));
    EXPECT_TRUE(script_matches("journal-passes.txt"));
}

TEST_F(JournalReader, FiltersByNumberPatternAndInclusiveTimes) {
    file("netpassbase.tpn",
         pass(T0, "A123BC77", 1) + pass(T0 + 60, "A124BC77", 0) + pass(T0 + 86400, "K?55KK", 1));
    EXPECT_TRUE(script_matches("journal-filters.txt"));
}

// Whatever is sound around a fault is still shown: a block zeroed by a power
// cut is skipped as one range and counted, as is a foreign record. The fault
// is told with its offset and the exit status says the file is not whole. A
// device or a pipe is refused rather than read without end or waited on, and
// a line without end is not taken in.
TEST_F(JournalReader, DamagedAndForeignFilesAreReportedWithTheirOffsets) {
    const std::string two = pass(T0, "A1", 1) + pass(T0 + 1, "A2", 1);
    file("netpassbase-2009.tpn", two + std::string(40, 'x'));
    file("netpassbase-whole.tpn", two);
    file("netpassbase-zeroed.tpn", two + std::string(3 * sizeof(_netpass_rec_t), '\0') +
                                       pass(T0 + 2, "A3", 1) + pass(T0 + 3, "A4", 1));
    file("copy.bin", two);
    file("netnumbase.tpn", bytes_of(netnum_record("A1", "", 1, T0)) + std::string(56, '\0') +
                               bytes_of(netnum_record("A2", "", 1, T0)));
    file("netpassbase-long.csv",
         std::string(5000, ';') + "\n14-03-2009;08:05:09;A1;2;1;1;m;i;0;g\n");
    mkfifo((dir_ + "/netpassbase-fifo.tpn").c_str(), 0600);
    EXPECT_TRUE(script_matches("journal-damaged.txt"));
}
