#include "values/datetime.h"

#include <cmath>
#include <cstdio>

namespace accessodbc {
namespace {

bool readDigits(const std::string &text, size_t &pos, int count, int *value)
{
    int result = 0;
    for (int i = 0; i < count; ++i, ++pos) {
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
            return false;
        result = result * 10 + (text[pos] - '0');
    }
    *value = result;
    return true;
}

bool expect(const std::string &text, size_t &pos, char wanted)
{
    if (pos >= text.size() || text[pos] != wanted)
        return false;
    ++pos;
    return true;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool isValid(const DateTime &v)
{
    return v.year >= 1 && v.month >= 1 && v.month <= 12 && v.day >= 1
        && v.day <= daysInMonth(v.year, v.month) && v.hour <= 23 && v.minute <= 59 && v.second <= 59;
}

bool readTime(const std::string &text, size_t &pos, DateTime *out)
{
    if (!readDigits(text, pos, 2, &out->hour) || !expect(text, pos, ':')
        || !readDigits(text, pos, 2, &out->minute))
        return false;
    if (pos == text.size())
        return true;
    if (!expect(text, pos, ':') || !readDigits(text, pos, 2, &out->second))
        return false;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        unsigned scale = 100000000;
        const size_t first = pos;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
            out->fraction += unsigned(text[pos] - '0') * scale;
            scale /= 10;
        }
        if (pos == first)
            return false;
    }
    return pos == text.size();
}

// Days from 0001-01-01 (proleptic Gregorian) to the given civil date.
long long daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const long long era = year / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

void civilFromDays(long long days, DateTime *out)
{
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    out->day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    out->month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    out->year = int(yearOfEra + era * 400 + (out->month <= 2));
}

} // namespace

void setDayZero(DateTime *value)
{
    value->year = 1899;
    value->month = 12;
    value->day = 30;
}

bool isDayZero(const DateTime &value) { return value.year == 1899 && value.month == 12 && value.day == 30; }

int windowedYear(int twoDigitYear) { return twoDigitYear < 30 ? 2000 + twoDigitYear : 1900 + twoDigitYear; }

bool parseDateTime(const std::string &text, DateTime *out)
{
    DateTime value;
    size_t pos = 0;
    if (text.size() >= 3 && text[2] == ':') {
        setDayZero(&value);
        if (!readTime(text, pos, &value) || !isValid(value))
            return false;
        *out = value;
        return true;
    }
    if (!readDigits(text, pos, 4, &value.year) || !expect(text, pos, '-')
        || !readDigits(text, pos, 2, &value.month) || !expect(text, pos, '-')
        || !readDigits(text, pos, 2, &value.day))
        return false;
    if (pos < text.size()) {
        if (text[pos] != ' ' && text[pos] != 'T')
            return false;
        ++pos;
        if (!readTime(text, pos, &value))
            return false;
    }
    if (!isValid(value))
        return false;
    *out = value;
    return true;
}

bool dateTimeFromSerial(double serial, DateTime *out)
{
    // Access's range of dates: 100-01-01 to 9999-12-31.
    if (!std::isfinite(serial) || serial <= -657435.0 || serial >= 2958466.0)
        return false;
    // Before day zero the whole days count back while the fraction still counts forward
    // from midnight: -1.25 is 1899-12-29 06:00, not 18:00 of the day before.
    const long long zeroDay = daysFromCivil(1899, 12, 30);
    const double wholeDays = std::trunc(serial);
    long long secondsOfDay = std::llround(std::fabs(serial - wholeDays) * 86400.0);
    long long days = zeroDay + (long long)wholeDays;
    if (secondsOfDay >= 86400) {
        secondsOfDay -= 86400;
        days += serial < 0 ? -1 : 1;
    }
    DateTime value;
    civilFromDays(days, &value);
    value.hour = int(secondsOfDay / 3600);
    value.minute = int(secondsOfDay / 60 % 60);
    value.second = int(secondsOfDay % 60);
    *out = value;
    return true;
}

namespace {

// Writes `value`, 0 or more and below 10^width, as exactly `width` digits.
char *putDigits(char *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
    return out + width;
}

bool twoDigits(int value)
{
    return value >= 0 && value <= 99;
}

}

// Every row of a date column passes through here, so the usual case is written digit by
// digit; a field out of its usual range goes through printf's own formatting.
std::string formatDateTime(const DateTime &value)
{
    const int year = value.year % 10000;
    const bool usual = year >= 0 && twoDigits(value.month) && twoDigits(value.day) && twoDigits(value.hour)
        && twoDigits(value.minute) && twoDigits(value.second);
    char text[32];
    if (!usual) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, value.month, value.day,
                      value.hour, value.minute, value.second);
        return text;
    }
    char *next = putDigits(text, year, 4);
    *next++ = '-';
    next = putDigits(next, value.month, 2);
    *next++ = '-';
    next = putDigits(next, value.day, 2);
    *next++ = ' ';
    next = putDigits(next, value.hour, 2);
    *next++ = ':';
    next = putDigits(next, value.minute, 2);
    *next++ = ':';
    next = putDigits(next, value.second, 2);
    return std::string(text, size_t(next - text));
}

std::string formatAccessDateTime(const DateTime &value)
{
    const std::string both = formatDateTime(value);
    if (isDayZero(value))
        return both.substr(11);
    if (value.hour == 0 && value.minute == 0 && value.second == 0)
        return both.substr(0, 10);
    return both;
}

double serialFromDateTime(const DateTime &value)
{
    const long long days = daysFromCivil(value.year, value.month, value.day) - daysFromCivil(1899, 12, 30);
    const double fraction = (value.hour * 3600 + value.minute * 60 + value.second) / 86400.0;
    return days < 0 ? double(days) - fraction : double(days) + fraction;
}

namespace {

// A run of one to four digits.
bool readNumber(const std::string &text, size_t &pos, int *value, size_t *digits)
{
    const size_t start = pos;
    int result = 0;
    while (pos < text.size() && pos - start < 4 && text[pos] >= '0' && text[pos] <= '9')
        result = result * 10 + (text[pos++] - '0');
    *value = result;
    *digits = pos - start;
    return *digits > 0;
}

void skipBlanks(const std::string &text, size_t &pos)
{
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
}

int fullYear(int year, size_t digits) { return digits > 2 ? year : windowedYear(year); }

bool readLiteralDate(const std::string &text, size_t &pos, DateTime *out)
{
    int first = 0, second = 0, third = 0;
    size_t firstDigits = 0, digits = 0, thirdDigits = 0;
    if (!readNumber(text, pos, &first, &firstDigits) || pos >= text.size())
        return false;
    const char separator = text[pos];
    if (separator != '/' && separator != '-')
        return false;
    ++pos;
    if (!readNumber(text, pos, &second, &digits) || !expect(text, pos, separator)
        || !readNumber(text, pos, &third, &thirdDigits))
        return false;
    if (firstDigits == 4) { // yyyy-mm-dd or yyyy/mm/dd
        out->year = first;
        out->month = second;
        out->day = third;
    } else if (separator == '/') { // m/d/yyyy; Access reads d/m/yyyy when the month cannot be one
        const bool dayFirst = first > 12 && second <= 12;
        out->month = dayFirst ? second : first;
        out->day = dayFirst ? first : second;
        out->year = fullYear(third, thirdDigits);
    } else {
        return false;
    }
    return true;
}

bool readLiteralTime(const std::string &text, size_t &pos, DateTime *out)
{
    size_t digits = 0;
    if (!readNumber(text, pos, &out->hour, &digits) || digits > 2 || !expect(text, pos, ':')
        || !readNumber(text, pos, &out->minute, &digits) || digits != 2)
        return false;
    if (pos < text.size() && text[pos] == ':'
        && (!expect(text, pos, ':') || !readNumber(text, pos, &out->second, &digits) || digits != 2))
        return false;
    skipBlanks(text, pos);
    const std::string rest = text.substr(pos);
    if (rest.empty())
        return true;
    const bool am = rest == "AM" || rest == "am";
    const bool pm = rest == "PM" || rest == "pm";
    if ((!am && !pm) || out->hour < 1 || out->hour > 12)
        return false;
    out->hour = out->hour % 12 + (pm ? 12 : 0);
    pos = text.size();
    return true;
}

} // namespace

bool parseDateLiteral(const std::string &text, DateTime *out)
{
    DateTime value;
    setDayZero(&value);
    size_t pos = 0;
    skipBlanks(text, pos);
    const size_t start = pos;
    // A date that does not read leaves value as it was.
    if (!readLiteralDate(text, pos, &value)) {
        pos = start;
        if (!readLiteralTime(text, pos, &value))
            return false;
    } else {
        skipBlanks(text, pos);
        if (pos < text.size() && !readLiteralTime(text, pos, &value))
            return false;
    }
    skipBlanks(text, pos);
    if (pos != text.size() || !isValid(value) || value.year < 100 || value.year > 9999)
        return false;
    *out = value;
    return true;
}

} // namespace accessodbc
