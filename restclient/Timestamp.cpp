#include "restclient/Timestamp.h"

#include <cstdint>
#include <cstdio>

namespace afs_rest {
namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;  // 100 ns intervals

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the given date (proleptic Gregorian).
int64_t DaysSince1601(int year, int month, int day) {
    int64_t y = year - 1601;
    int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    // Days before each month in a common year; difference pages parse four
    // timestamps per object, so this avoids a loop per timestamp.
    static const int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    days += kDaysBefore[month - 1] + (month > 2 && IsLeap(year) ? 1 : 0);
    return days + day - 1;
}

bool ReadDigits(const char* text, int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

bool ParseIso8601Utc(const char* text, size_t length, utility::datetime& out) {
    // YYYY-MM-DDTHH:MM:SS is 19 characters; "Z" makes 20.
    if (length < 20) return false;
    int year, month, day, hour, minute, second;
    if (!ReadDigits(text, 4, year) || text[4] != '-' || !ReadDigits(text + 5, 2, month) || text[7] != '-' ||
        !ReadDigits(text + 8, 2, day) || (text[10] != 'T' && text[10] != 't') ||
        !ReadDigits(text + 11, 2, hour) || text[13] != ':' || !ReadDigits(text + 14, 2, minute) ||
        text[16] != ':' || !ReadDigits(text + 17, 2, second)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 60) {
        return false;
    }
    // A leap second has no place in a count of intervals; it is read as the
    // second before it.
    if (second == 60) second = 59;
    size_t position = 19;
    uint64_t fraction = 0;
    if (text[position] == '.') {
        ++position;
        size_t digits = 0;
        while (position < length && text[position] >= '0' && text[position] <= '9') {
            // Digits below 100 ns are dropped (truncated), not rounded.
            if (++digits <= 7) fraction = fraction * 10 + static_cast<uint64_t>(text[position] - '0');
            ++position;
        }
        if (digits == 0) return false;
        for (; digits < 7; ++digits) fraction *= 10;
    }
    int64_t offsetSeconds = 0;
    if (position + 1 == length && (text[position] == 'Z' || text[position] == 'z')) {
        offsetSeconds = 0;
    } else if (position + 6 == length && (text[position] == '+' || text[position] == '-')) {
        int offsetHours, offsetMinutes;
        if (!ReadDigits(text + position + 1, 2, offsetHours) || text[position + 3] != ':' ||
            !ReadDigits(text + position + 4, 2, offsetMinutes) || offsetHours > 23 || offsetMinutes > 59) {
            return false;
        }
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (text[position] == '+' ? 1 : -1);
    } else {
        return false;
    }
    const int64_t seconds = DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
                            offsetSeconds;  // local time minus its offset is UTC
    // The offset may carry an instant across 9999; UTC must stay within.
    if (seconds >= DaysSince1601(10000, 1, 1) * 86400) return false;
    // A time before 1601 cannot be held, but it is a time all the same (a
    // server's "no time", 0001-01-01, among them): it is read as the earliest
    // one, which is before 1970 like itself.
    if (year < 1601 || seconds < 0) {
        out = utility::datetime::from_interval(0);
        return true;
    }
    out = utility::datetime::from_interval(static_cast<uint64_t>(seconds) * kTicksPerSecond + fraction);
    return true;
}

std::string FormatIso8601Utc(const utility::datetime& time) {
    uint64_t interval = time.to_interval();
    uint64_t fraction = interval % kTicksPerSecond;
    uint64_t seconds = interval / kTicksPerSecond;
    int64_t days = static_cast<int64_t>(seconds / 86400ULL);
    uint64_t daySeconds = seconds % 86400ULL;
    int year = 1601;
    for (;;) {
        int yearDays = IsLeap(year) ? 366 : 365;
        if (days < yearDays) break;
        days -= yearDays;
        ++year;
    }
    int month = 1;
    while (days >= DaysInMonth(year, month)) {
        days -= DaysInMonth(year, month);
        ++month;
    }
    char buffer[40];
    int written = snprintf(buffer, sizeof(buffer), "%04d-%02d-%02dT%02d:%02d:%02d", year, month,
                           static_cast<int>(days) + 1, static_cast<int>(daySeconds / 3600),
                           static_cast<int>(daySeconds / 60 % 60), static_cast<int>(daySeconds % 60));
    std::string text(buffer, static_cast<size_t>(written));
    if (fraction != 0) {
        snprintf(buffer, sizeof(buffer), ".%07llu", static_cast<unsigned long long>(fraction));
        text += buffer;
    }
    return text + "Z";
}

}  // namespace afs_rest
