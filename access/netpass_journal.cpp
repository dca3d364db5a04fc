#include "access/netpass_journal.h"

#include <cstdio>
#include <cstring>

#include "access/access_decision.h"
#include "support/journal_file.h"
#include "support/log.h"
#include "support/process_values.h"
#include "support/support_routines.h"

namespace {

// The date and time columns, as the other journals of the board write them.
const char date_time_format[] = "%d-%m-%Y;%H:%M:%S";
constexpr int date_time_size = 30;

// Every column at its widest: the date and time, the text fields at their
// full width, four numbers of at most four characters, eight separators, the
// newline and the terminator.
constexpr size_t line_size = date_time_size + sizeof(_netpass_rec_t::number) +
                             sizeof(_netpass_rec_t::message) + sizeof(_netpass_rec_t::info) +
                             sizeof(_netpass_rec_t::deviceid) + 4 * 4 + 8 + 2;

void fill(const _parking_rec_t& rec, const char* message, _netpass_rec_t* pass) {
    pass->time = rec.time;
    memcpy(pass->number, rec.number, sizeof pass->number);
    pass->kind = rec.kind;
    pass->in_list = rec.in_list;
    pass->access = rec.access;
    // The message stays terminated within its field.
    copy_field(pass->message, sizeof pass->message, message, sizeof pass->message - 1);
    pass->by_button = static_cast<uint8_t>(gv_access_by_button);
    copy_field(pass->deviceid, sizeof pass->deviceid, gv_deviceid, sizeof pass->deviceid);
}

// The text line of `pass`. Its text fields are taken within their widths:
// `info` comes from the access base and `deviceid` from the settings, and
// either may fill its field without a terminator.
void make_line(const _netpass_rec_t& pass, char (&line)[line_size]) {
    char date_time[date_time_size];
    get_cnv_date_time_str_ext(date_time, sizeof date_time, date_time_format, 1, &pass.time);
    snprintf(line, sizeof line, "%s;%.*s;%d;%d;%d;%.*s;%.*s;%d;%.*s\n", date_time,
             static_cast<int>(sizeof pass.number), pass.number, pass.kind, pass.in_list,
             pass.access, static_cast<int>(sizeof pass.message), pass.message,
             static_cast<int>(sizeof pass.info), pass.info, pass.by_button,
             static_cast<int>(sizeof pass.deviceid), pass.deviceid);
}

} // namespace

void netpassbase_write(const _parking_rec_t& rec, const char* message, _netpass_rec_t* pass) {
    fill(rec, message, pass);
    char path[netbase_path_size];
    netbase_path(path, gv_netpassbase);
    const int appended = journal_append_record(path, pass, sizeof *pass, decision_log_name);
    if (appended == journal_open_failed)
        log_line(decision_log_name, "Can't open file %s\n", path);
    else if (appended == journal_write_failed)
        log_line(decision_log_name, "Can't write to file %s\n", path);

    // Written whatever became of the record: the line alone still tells the
    // whole passage. Its failures are not logged.
    char line[line_size];
    make_line(*pass, line);
    netbase_path(path, gv_netpassbase_csv);
    journal_append_line(path, line, decision_log_name);
}
