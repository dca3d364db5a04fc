#include "tools/journal-reader/journal_lines.h"

#include <vector>

#include "tools/cp1251_text/cp1251_text.h"
#include "tools/journal-reader/journal_time.h"

namespace {

std::vector<std::string> split_columns(const std::string& line) {
    std::vector<std::string> columns;
    size_t start = 0;
    for (size_t end; (end = line.find(';', start)) != std::string::npos; start = end + 1)
        columns.push_back(line.substr(start, end - start));
    columns.push_back(line.substr(start));
    return columns;
}

bool shaped(const std::string& text, const char* shape) {
    const std::string pattern(shape);
    if (text.size() != pattern.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '9' ? !digit : text[i] != pattern[i])
            return false;
    }
    return true;
}

// The first two columns: "DD-MM-YYYY" and "HH:MM:SS" in the board's zone.
bool read_time(const std::string& date, const std::string& clock, int64_t* seconds) {
    if (!shaped(date, "99-99-9999") || !shaped(clock, "99:99:99"))
        return false;
    const std::string iso =
        date.substr(6, 4) + "-" + date.substr(3, 2) + "-" + date.substr(0, 2) + "T" + clock;
    return local_time_of(iso, seconds) == 0;
}

// A decimal number from `low` to `high`, as printf wrote it.
bool read_number(const std::string& text, int low, int high, int* value) {
    const bool negative = !text.empty() && text[0] == '-';
    if (text.size() == (negative ? 1u : 0u) || text.size() > 5)
        return false;
    int parsed = 0;
    for (size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        parsed = parsed * 10 + (text[i] - '0');
    }
    parsed = negative ? -parsed : parsed;
    if (parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

std::string utf8(const std::string& cp1251) {
    return cp1251_field_to_utf8(cp1251.data(), cp1251.size());
}

// Columns first..last, joined again by the ';' that split them.
std::string joined(const std::vector<std::string>& columns, size_t first, size_t last) {
    std::string text = columns[first];
    for (size_t i = first + 1; i <= last; ++i)
        text += ";" + columns[i];
    return utf8(text);
}

int refuse(std::string* why, const std::string& what) {
    *why = what;
    return -1;
}

// Splits the line into at least `least` columns and reads the time that
// the first two hold.
int take_line(const std::string& line, size_t least, std::vector<std::string>* columns,
              int64_t* time, std::string* why) {
    if (line.find('\0') != std::string::npos)
        return refuse(why, "holds a zero byte");
    *columns = split_columns(line);
    if (columns->size() < least) {
        return refuse(why, std::to_string(columns->size()) + " columns, at least " +
                               std::to_string(least) + " expected");
    }
    if (!read_time((*columns)[0], (*columns)[1], time))
        return refuse(why, "no date and time at its start");
    return 0;
}

} // namespace

// date;time;number;kind;in_list;access;message;info;by_button;deviceid
int parse_pass_line(const std::string& line, PassRow* row, std::string* why) {
    std::vector<std::string> columns;
    PassRow read;
    if (take_line(line, PASS_LINE_COLUMNS, &columns, &read.time, why) != 0)
        return -1;
    const size_t last = columns.size() - 1;
    if (!read_number(columns[3], 0, 255, &read.kind))
        return refuse(why, "the kind is not a byte");
    if (!read_number(columns[4], 0, 1, &read.in_list))
        return refuse(why, "in_list is neither 0 nor 1");
    if (!read_number(columns[5], -1, 1, &read.access))
        return refuse(why, "access is not -1, 0 or 1");
    if (!read_number(columns[last - 1], 0, 1, &read.by_button))
        return refuse(why, "by_button is neither 0 nor 1");
    read.number = utf8(columns[2]);
    // The service's own messages hold no ';'; the access entry's info may.
    read.message = utf8(columns[6]);
    read.info = joined(columns, 7, last - 2);
    read.deviceid = utf8(columns[last]);
    *row = read;
    return 0;
}

// date;time;deviceid;number;in_list;access;text;summary;jpeg name
int parse_archive_line(const std::string& line, ArchiveRow* row, std::string* why) {
    std::vector<std::string> columns;
    ArchiveRow read;
    if (take_line(line, ARCHIVE_LINE_COLUMNS, &columns, &read.time, why) != 0)
        return -1;
    const size_t last = columns.size() - 1;
    if (!read_number(columns[4], 0, 1, &read.in_list))
        return refuse(why, "in_list is neither 0 nor 1");
    // The access byte is written unsigned: 255 is an admitted exit.
    int access;
    if (!read_number(columns[5], 0, 255, &access) || (access > 1 && access != 255))
        return refuse(why, "access is not 0, 1 or 255");
    read.access = access == 255 ? -1 : access;
    read.kind = -1;
    read.deviceid = utf8(columns[2]);
    read.number = utf8(columns[3]);
    // The summary is the service's own "owner: word (n+1)"; a ';' beyond the
    // fixed columns is taken to be the display text's.
    read.text = joined(columns, 6, last - 2);
    read.summary = utf8(columns[last - 1]);
    read.jpeg = utf8(columns[last]);
    *row = read;
    return 0;
}
