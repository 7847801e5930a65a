#pragma once

#include <string>

namespace accessodbc {

struct DateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    unsigned fraction = 0; // nanoseconds
};

// Access's day zero, 1899-12-30: the date a time of day alone lies on.
void setDayZero(DateTime *value);
bool isDayZero(const DateTime &value);

// A year given in two digits, 0 to 99, as Access reads it: 1930 to 2029.
int windowedYear(int twoDigitYear);

// Reads the stored forms of a date/time value: "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.fff]]"
// (or with a 'T' between date and time) and "hh:mm[:ss]", which lies on Access's day zero,
// 1899-12-30. Fails on anything else, trailing text included.
bool parseDateTime(const std::string &text, DateTime *out);

// Access keeps a date/time as days since 1899-12-30, the time as the fraction of a day.
bool dateTimeFromSerial(double serial, DateTime *out);

// The one text form used for date/time values: "yyyy-mm-dd hh:mm:ss".
std::string formatDateTime(const DateTime &value);

// A date/time as Access's CStr gives it, with the short-date and long-time forms fixed to
// "yyyy-mm-dd" and "hh:mm:ss": the date alone at midnight, the time alone on 1899-12-30,
// else both joined by a blank.
std::string formatAccessDateTime(const DateTime &value);

// Days since 1899-12-30 and the fraction of the day, the inverse of dateTimeFromSerial.
double serialFromDateTime(const DateTime &value);

// The inside of an Access #date# literal: US m/d/yyyy (d/m/yyyy when the first number is
// over 12 and the second is not), ISO yyyy-mm-dd (also with '/'),
// either followed by a time, or a time alone; a time is h:mm[:ss] with an optional AM or
// PM. Two-digit years are 1930 to 2029, as in Access.
bool parseDateLiteral(const std::string &text, DateTime *out);

} // namespace accessodbc
