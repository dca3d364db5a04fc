#include "tools/accessbase/access_entry.h"

#include <cctype>
#include <cstring>

#include "tools/cp1251_text/cp1251_text.h"
#include "tools/accessbase/iso_time.h"
#include "tools/cp1251_text/shown_text.h"

const std::vector<std::string> ACCESS_CSV_HEADER = {"number", "from",     "to",  "owner",
                                                    "places", "max_time", "text"};

namespace {

constexpr size_t MAX_PATTERN = sizeof(_access_rec_t::number) - 1;
constexpr size_t MAX_INFO = sizeof(_access_rec_t::info) - 1;
constexpr size_t MAX_TEXT = sizeof(_access_rec_t::text) - 1;

int check_pattern(const std::string& pattern, std::string* error) {
    if (pattern.empty()) {
        *error = "the number pattern is empty";
        return -1;
    }
    for (char c : pattern) {
        if (!isalnum(static_cast<unsigned char>(c)) && c != '?') {
            *error = "the number pattern " + quoted_excerpt(pattern) +
                     " may hold only Latin letters, digits and ? (any one character)";
            return -1;
        }
    }
    if (pattern.size() > MAX_PATTERN) {
        *error = "the number pattern " + quoted_excerpt(pattern) + " has " +
                 std::to_string(pattern.size()) + " characters; the file holds at most " +
                 std::to_string(MAX_PATTERN);
        return -1;
    }
    return 0;
}

bool all_digits(const std::string& text) {
    for (char c : text) {
        if (!isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

int check_places(const std::string& places, std::string* error) {
    if (places.empty())
        return 0;
    if (!all_digits(places) || places.size() > 9) {
        *error = "places " + quoted_excerpt(places) + " must be a whole number from 0 to 999999999";
        return -1;
    }
    return 0;
}

// H:MM or HH:MM with minutes below 60, hours within the service's 16 bits.
int check_max_time(const std::string& max_time, std::string* error) {
    if (max_time.empty())
        return 0;
    const size_t colon = max_time.find(':');
    const std::string hours = max_time.substr(0, colon);
    const std::string minutes = colon == std::string::npos ? "" : max_time.substr(colon + 1);
    const bool formed = colon != std::string::npos && !hours.empty() && hours.size() <= 5 &&
                        all_digits(hours) && minutes.size() == 2 && all_digits(minutes);
    if (!formed || std::stoi(hours) > 32767 || std::stoi(minutes) > 59) {
        *error = "the maximum parking time " + quoted_excerpt(max_time) +
                 " must be hours and minutes, such as 1:30 or 24:00 (minutes 00 to 59)";
        return -1;
    }
    return 0;
}

// A ';' would split the columns of the journals, which copy these texts
// unescaped into their ';'-separated lines.
int check_no_semicolon(const std::string& text, const char* what, std::string* error) {
    if (text.find(';') != std::string::npos) {
        *error = std::string(what) + " " + quoted_excerpt(text) +
                 " contains ';', which would split the journals' columns";
        return -1;
    }
    return 0;
}

// "owner", "owner,places" or "owner,places,HH:MM": no more than is needed.
std::string join_info(const AccessRow& row) {
    if (!row.max_time.empty())
        return row.owner + "," + row.places + "," + row.max_time;
    if (!row.places.empty())
        return row.owner + "," + row.places;
    return row.owner;
}

int stored_text(const std::string& utf8, size_t limit, const char* what, std::string* cp1251,
                std::string* error) {
    std::string why;
    if (check_no_semicolon(utf8, what, error) != 0)
        return -1;
    if (utf8_to_cp1251_checked(utf8, cp1251, &why) != 0) {
        *error = std::string(what) + " " + quoted_excerpt(utf8) + " " + why;
        return -1;
    }
    if (cp1251->size() > limit) {
        *error = std::string(what) + " " + quoted_excerpt(utf8) + " takes " +
                 std::to_string(cp1251->size()) + " bytes in CP1251; the file holds at most " +
                 std::to_string(limit);
        return -1;
    }
    return 0;
}

} // namespace

int make_access_record(const AccessRow& row, _access_rec_t* record, std::string* error) {
    int32_t from = 0;
    int32_t to = 0;
    if (check_pattern(row.number, error) != 0 || parse_iso_time(row.from, &from, error) != 0 ||
        parse_iso_time(row.to, &to, error) != 0)
        return -1;
    if (to < from) {
        *error = "the period ends (" + escaped_text(row.to) + ") before it starts (" +
                 escaped_text(row.from) + ")";
        return -1;
    }
    if (row.owner.find(',') != std::string::npos) {
        *error = "the owner " + quoted_excerpt(row.owner) +
                 " contains ',', which separates owner and places";
        return -1;
    }
    std::string info;
    std::string text;
    if (stored_text(row.owner, MAX_INFO, "the owner", &info, error) != 0 ||
        check_places(row.places, error) != 0 || check_max_time(row.max_time, error) != 0 ||
        stored_text(join_info(row), MAX_INFO, "owner, places and time", &info, error) != 0 ||
        stored_text(row.text, MAX_TEXT, "the text", &text, error) != 0)
        return -1;

    memset(record, 0, sizeof *record);
    memcpy(record->number, row.number.data(), row.number.size());
    record->period_from = from;
    record->period_to = to;
    memcpy(record->info, info.data(), info.size());
    memcpy(record->text, text.data(), text.size());
    return 0;
}

std::string access_pattern(const _access_rec_t& record) {
    return cp1251_field_to_utf8(record.number, sizeof record.number);
}

AccessRow access_row(const _access_rec_t& record) {
    char fields[3][access_field_size];
    split_access_fields(record.info, sizeof record.info, ',', fields, 3);
    AccessRow row;
    row.number = access_pattern(record);
    row.from = format_iso_time(record.period_from);
    row.to = format_iso_time(record.period_to);
    row.owner = cp1251_field_to_utf8(fields[0], sizeof fields[0]);
    row.places = cp1251_field_to_utf8(fields[1], sizeof fields[1]);
    row.max_time = cp1251_field_to_utf8(fields[2], sizeof fields[2]);
    row.text = cp1251_field_to_utf8(record.text, sizeof record.text);
    return row;
}

std::vector<std::string> access_row_fields(const AccessRow& row) {
    return {row.number, row.from, row.to, row.owner, row.places, row.max_time, row.text};
}

AccessRow access_row_from_fields(const std::vector<std::string>& fields) {
    AccessRow row;
    std::string* columns[] = {&row.number, &row.from,     &row.to,  &row.owner,
                              &row.places, &row.max_time, &row.text};
    for (size_t i = 0; i < fields.size() && i < 7; ++i)
        *columns[i] = fields[i];
    return row;
}
