// Runs the real service on simulated boards (sim/board) and reads back the
// bytes that its peers read: journals, archive, stream blocks, events and
// system-log lines.
#pragma once

#include <string>
#include <vector>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"
#include "records/parking_rec.h"

// One board of a run. Its input files are written beside the run's output.
struct BoardSetup {
    std::string run;                  // run folder, below the e2e scratch folder
    std::string board;                // board folder within the run
    std::string streams_ini;          // the configuration file; empty: none
    std::string tz;                   // the TZ file; empty: none
    std::string access_csv;           // the access base as accessbase imports it; empty: none
    std::string scenario;             // camera events and runner actions
    std::vector<std::string> options; // further sim/board options
    // Files written into the run folder before the boards start (a journal
    // the boards find, a program they run), by their path within it.
    std::vector<std::pair<std::string, std::string>> files;
};

// Starts every board at once and waits for all of them. A board whose runner
// failed is reported as a test failure with what the runner said.
void run_boards(const std::vector<BoardSetup>& boards);

// The scratch folder of a run.
std::string run_folder(const std::string& run);

// The builds the boards run: $DRAVEL_BUILD_DIR, and the ARMv5 build that
// $DRAVEL_E2E_ARM_BUILD names (empty when it names none).
std::string build_folder();
std::string arm_build_folder();

struct Event {
    std::string kind; // "event" or "state"
    std::string name;
    int value;
    bool operator==(const Event& other) const {
        return kind == other.kind && name == other.name && value == other.value;
    }
};

// A block as shmgr-dump showed it; a passage block also has its record
// fields and the length of the JPEG file the dump saved from it.
struct StreamBlock {
    long sequence = 0;
    long length = 0;
    long long frame_time = 0;
    bool passage = false;
    long passage_time = 0;
    std::string number, text, summary; // UTF-8 as the dump shows them
    int kind = 0, in_list = 0, access = 0;
    long jpeg_bytes = -1; // -1: no JPEG saved
};

// What one board of a run left.
class BoardRun {
  public:
    BoardRun(const std::string& run, const std::string& board);

    std::string path(const std::string& relative) const;
    std::string file(const std::string& relative) const;
    // How the service ended: "exit 0", "signal 15", ...
    std::string end() const;
    // The service's log messages: the text after "dravel[PID]: ".
    std::vector<std::string> log() const;
    // Messages that start with `prefix`.
    std::vector<std::string> log_starting(const std::string& prefix) const;
    std::vector<Event> events() const;
    std::vector<Event> events_named(const std::string& name) const;
    std::vector<StreamBlock> stream() const;
    std::vector<StreamBlock> passages() const;
    // The records of a journal of 116-byte passage records.
    std::vector<_parking_rec_t> passbase(const std::string& relative) const;

  private:
    std::string dir_;
};

// Journals of a net-base folder.
std::vector<_netpass_rec_t> netpass_records(const std::string& folder);
std::vector<_netnum_rec_t> netnum_records(const std::string& folder);
// Lines of a text journal, converted from CP1251 to UTF-8, without line ends.
std::vector<std::string> cp1251_lines(const std::string& path);
// The ';'-separated columns of a journal line.
std::vector<std::string> columns_of(const std::string& line);
// A fixed CP1251 field in UTF-8.
std::string field_text(const char* field, size_t size);

// The passage time as the text journals write it in local time of a zone
// `east_hours` east of UTC: "DD-MM-YYYY;HH:MM:SS".
std::string local_date_time(long time, int east_hours);
// The archive's name stamp of a passage time (UTC): "YYYY-MM-DD_HH-MM-SS".
std::string archive_stamp(long time);
