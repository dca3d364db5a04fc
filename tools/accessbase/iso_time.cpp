#include "tools/accessbase/iso_time.h"

#include <cctype>
#include <cstdio>

#include "tools/cp1251_text/shown_text.h"

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t shifted_month = (5 * day_of_year + 2) / 153;
    *day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    *month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    *year = year_of_era + era * 400 + (*month <= 2 ? 1 : 0);
}

int days_in_month(int64_t year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Reads exactly `width` digits at `text[*at]`; -1 when they are not there.
int digits(const std::string& text, size_t* at, int width) {
    int value = 0;
    for (int i = 0; i < width; ++i, ++*at) {
        if (*at >= text.size() || !isdigit(static_cast<unsigned char>(text[*at])))
            return -1;
        value = value * 10 + (text[*at] - '0');
    }
    return value;
}

bool take(const std::string& text, size_t* at, char expected) {
    if (*at < text.size() && text[*at] == expected) {
        ++*at;
        return true;
    }
    return false;
}

// Reads "Z" or an offset east of UTC ("+03:00", "+0300", "-05") into seconds.
bool zone_offset(const std::string& text, size_t* at, int* offset) {
    if (take(text, at, 'Z') || take(text, at, 'z')) {
        *offset = 0;
        return true;
    }
    int sign;
    if (take(text, at, '+'))
        sign = 1;
    else if (take(text, at, '-'))
        sign = -1;
    else
        return false;
    const int hours = digits(text, at, 2);
    take(text, at, ':');
    const int minutes = *at < text.size() ? digits(text, at, 2) : 0;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return false;
    *offset = sign * (hours * 3600 + minutes * 60);
    return true;
}

} // namespace

int parse_iso_time(const std::string& text, int32_t* seconds, std::string* error) {
    size_t at = 0;
    const int year = digits(text, &at, 4);
    const bool date_ok = year >= 0 && take(text, &at, '-');
    const int month = date_ok ? digits(text, &at, 2) : -1;
    const int day = month >= 0 && take(text, &at, '-') ? digits(text, &at, 2) : -1;
    const bool separated = day >= 0 && (take(text, &at, 'T') || take(text, &at, ' '));
    const int hour = separated ? digits(text, &at, 2) : -1;
    const int minute = hour >= 0 && take(text, &at, ':') ? digits(text, &at, 2) : -1;
    int second = 0;
    if (minute >= 0 && take(text, &at, ':'))
        second = digits(text, &at, 2);
    int offset = 0;
    const bool zoned = minute >= 0 && second >= 0 && zone_offset(text, &at, &offset);
    if (!zoned || at != text.size()) {
        *error = quoted_excerpt(text) +
                 " is not a date with time and zone, such as 2024-05-01T08:00:00Z or "
                 "2024-05-01T11:00+03:00";
        return -1;
    }
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        *error = quoted_excerpt(text) + " is not a valid date and time";
        return -1;
    }
    const int64_t value =
        days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
    if (value < INT32_MIN || value > INT32_MAX) {
        *error = quoted_excerpt(text) + " lies outside what the file can hold (" +
                 format_iso_time(INT32_MIN) + " to " + format_iso_time(INT32_MAX) + ")";
        return -1;
    }
    *seconds = static_cast<int32_t>(value);
    return 0;
}

std::string format_iso_time(int32_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int64_t year;
    int month;
    int day;
    civil_from_days(days, &year, &month, &day);
    char text[32];
    snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(year),
             month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
             static_cast<int>(rest % 60));
    return text;
}
