#include "tools/journal-reader/journal_filter.h"

#include <cerrno>
#include <cstdlib>

#include "tools/accessbase/iso_time.h"
#include "tools/journal-reader/journal_time.h"

namespace {

// Bytes of the UTF-8 character starting with `lead`; a stray byte is one.
size_t char_length(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    return lead >= 0xC0 ? 2 : 1;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool in_range(const RowFilter& filter, int64_t time) {
    return time >= filter.from && time <= filter.to;
}

bool all_digits(const std::string& text, size_t from) {
    if (text.size() <= from)
        return false;
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

} // namespace

bool number_matches(const std::string& pattern, const std::string& number) {
    size_t p = 0;
    size_t n = 0;
    while (p < pattern.size() && n < number.size()) {
        const size_t n_length = char_length(static_cast<unsigned char>(number[n]));
        if (pattern[p] == '?') {
            ++p;
        } else {
            const size_t p_length = char_length(static_cast<unsigned char>(pattern[p]));
            if (p_length != n_length || p + p_length > pattern.size() ||
                n + n_length > number.size())
                return false;
            for (size_t i = 0; i < p_length; ++i) {
                if (upper(pattern[p + i]) != upper(number[n + i]))
                    return false;
            }
            p += p_length;
        }
        n += n_length;
    }
    return p >= pattern.size() && n >= number.size();
}

bool keeps(const RowFilter& filter, const PassRow& row) {
    return in_range(filter, row.time) &&
           (filter.number.empty() || number_matches(filter.number, row.number));
}

bool keeps(const RowFilter& filter, const ArchiveRow& row) {
    return in_range(filter, row.time) &&
           (filter.number.empty() || number_matches(filter.number, row.number));
}

bool keeps(const RowFilter& filter, const OccupancyRow& row) {
    if (!filter.number.empty() && !number_matches(filter.number, row.number))
        return false;
    if (filter.from == INT64_MIN && filter.to == INT64_MAX)
        return true; // a car that never entered nor left is kept too
    return (row.in_time != 0 && in_range(filter, row.in_time)) ||
           (row.out_time != 0 && in_range(filter, row.out_time));
}

int parse_time_option(const std::string& text, bool end_of_day, int64_t* seconds,
                      std::string* error) {
    if (all_digits(text, text.compare(0, 1, "-") == 0 ? 1 : 0)) {
        errno = 0;
        const long long value = strtoll(text.c_str(), nullptr, 10);
        if (errno == 0) {
            *seconds = value;
            return 0;
        }
    }
    int32_t zoned;
    if (parse_iso_time(text, &zoned, error) == 0) {
        *seconds = zoned;
        return 0;
    }
    const bool date_only =
        text.size() == 10 && all_digits(text.substr(0, 4), 0) && text[4] == '-' && text[7] == '-';
    const std::string local = date_only ? text + (end_of_day ? "T23:59:59" : "T00:00:00") : text;
    if (local_time_of(local, seconds) == 0)
        return 0;
    *error = "\"" + text +
             "\" is not a time: give seconds since the epoch, or ISO 8601 such as "
             "2009-03-14T08:05:09+02:00, or a local 2009-03-14 08:05:09 or 2009-03-14";
    return -1;
}
