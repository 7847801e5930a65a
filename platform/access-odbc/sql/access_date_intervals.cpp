// Access's functions that count in intervals of a date: DateAdd, DateDiff, DatePart and
// Weekday. Days are counted on the calendar, not from the serial: before 1899-12-30 a
// serial runs backwards for the days but forwards for the time of day.

#include "sql/access_function_support.h"
#include "values/datetime.h"
#include "values/numbers.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace accessodbc {
namespace {

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

const std::pair<const char *, Interval> kIntervals[] = {
    {"yyyy", Interval::Year}, {"q", Interval::Quarter},   {"m", Interval::Month}, {"y", Interval::DayOfYear},
    {"d", Interval::Day},     {"w", Interval::Weekday},   {"ww", Interval::Week}, {"h", Interval::Hour},
    {"n", Interval::Minute},  {"s", Interval::Second},
};

const long long kSecondsPerDay = 86400;

bool intervalArgument(sqlite3_context *context, sqlite3_value *value, Interval *out)
{
    if (isNull(value)) {
        sqlite3_result_error(context, "Invalid use of Null", -1);
        return false;
    }
    std::string name = valueText(value);
    for (char &c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const auto &interval : kIntervals) {
        if (name == interval.first) {
            *out = interval.second;
            return true;
        }
    }
    sqlite3_result_error(context, kInvalidArgument, -1);
    return false;
}

// An optional argument numbered from 1 within its range; 0 is the system's setting,
// which is the first choice (Sunday, the week of January 1) on an English system.
bool optionalChoice(sqlite3_context *context, int argc, sqlite3_value **argv, int index, int last, int *out)
{
    *out = 1;
    if (index >= argc)
        return true;
    long long choice = 0;
    if (!wholeArgument(context, argv[index], &choice))
        return false;
    if (choice < 0 || choice > last) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return false;
    }
    *out = choice == 0 ? 1 : int(choice);
    return true;
}

// Days since 1899-12-30 of the calendar date, whatever the time.
long long dayNumber(int year, int month, int day)
{
    return (long long)serialFromDateTime(DateTime{year, month, day});
}

long long dayNumber(const DateTime &when) { return dayNumber(when.year, when.month, when.day); }

long long secondOfDay(const DateTime &when) { return when.hour * 3600LL + when.minute * 60LL + when.second; }

long long floorDivide(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

bool dateOfDay(long long day, long long second, DateTime *out)
{
    if (!dateTimeFromSerial(double(day), out))
        return false;
    out->hour = int(second / 3600);
    out->minute = int(second / 60 % 60);
    out->second = int(second % 60);
    return true;
}

// 1899-12-31 was a Sunday; firstDay counts from Sunday = 1.
int positionInWeek(long long day, int firstDay) { return int(((day - firstDay) % 7 + 7) % 7); }

// Week 1 starts on the week containing January 1 (rule 1), the first week with four days
// of the new year (rule 2), or the first full week (rule 3).
long long firstWeekStart(int year, int firstDay, int rule)
{
    const long long january1 = dayNumber(year, 1, 1);
    const int position = positionInWeek(january1, firstDay);
    const long long start = january1 - position;
    const bool startsBefore = (rule == 2 && position > 3) || (rule == 3 && position > 0);
    return startsBefore ? start + 7 : start;
}

} // namespace

long long weekOfYear(const DateTime &when, int firstDay, int rule)
{
    const long long day = dayNumber(when);
    long long start = firstWeekStart(when.year, firstDay, rule);
    if (day < start)
        start = firstWeekStart(when.year - 1, firstDay, rule);
    return (day - start) / 7 + 1;
}

namespace {

long long datePartOf(Interval interval, const DateTime &when, int firstDay, int rule)
{
    switch (interval) {
    case Interval::Year:
        return when.year;
    case Interval::Quarter:
        return (when.month - 1) / 3 + 1;
    case Interval::Month:
        return when.month;
    case Interval::DayOfYear:
        return dayNumber(when) - dayNumber(when.year, 1, 1) + 1;
    case Interval::Day:
        return when.day;
    case Interval::Weekday:
        return positionInWeek(dayNumber(when), firstDay) + 1;
    case Interval::Week:
        return weekOfYear(when, firstDay, rule);
    case Interval::Hour:
        return when.hour;
    case Interval::Minute:
        return when.minute;
    case Interval::Second:
        return when.second;
    }
    return 0;
}

// DatePart(interval, date[, firstdayofweek[, firstweekofyear]])
void datePart(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    Interval interval;
    int firstDay = 1, rule = 1;
    if (!intervalArgument(context, argv[0], &interval) || !optionalChoice(context, argc, argv, 2, 7, &firstDay)
        || !optionalChoice(context, argc, argv, 3, 3, &rule))
        return;
    DateTime when;
    if (dateArgument(context, argv[1], &when))
        sqlite3_result_int64(context, datePartOf(interval, when, firstDay, rule));
}

// Weekday(date[, firstdayofweek]): Sunday is 1 unless another day starts the week.
void weekday(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    int firstDay = 1;
    DateTime when;
    if (optionalChoice(context, argc, argv, 1, 7, &firstDay) && dateArgument(context, argv[0], &when))
        sqlite3_result_int64(context, positionInWeek(dayNumber(when), firstDay) + 1);
}

int daysInMonth(int year, int month)
{
    const long long first = dayNumber(year, month, 1);
    const long long next = month == 12 ? dayNumber(year + 1, 1, 1) : dayNumber(year, month + 1, 1);
    return int(next - first);
}

// Whole months move the date and keep its time; a day past the new month's end becomes
// its last day (January 31 plus a month is February 28 or 29).
bool addMonths(const DateTime &when, long long months, DateTime *out)
{
    const long long total = when.year * 12LL + (when.month - 1) + months;
    const long long year = floorDivide(total, 12);
    if (year < 100 || year > 9999)
        return false;
    *out = when;
    out->year = int(year);
    out->month = int(total - year * 12 + 1);
    out->day = std::min(when.day, daysInMonth(out->year, out->month));
    return true;
}

bool addSeconds(const DateTime &when, long long seconds, DateTime *out)
{
    const long long total = secondOfDay(when) + seconds;
    const long long days = floorDivide(total, kSecondsPerDay);
    return dateOfDay(dayNumber(when) + days, total - days * kSecondsPerDay, out);
}

bool addInterval(Interval interval, long long count, const DateTime &when, DateTime *out)
{
    switch (interval) {
    case Interval::Year:
        return addMonths(when, count * 12, out);
    case Interval::Quarter:
        return addMonths(when, count * 3, out);
    case Interval::Month:
        return addMonths(when, count, out);
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday:
        return addSeconds(when, count * kSecondsPerDay, out);
    case Interval::Week:
        return addSeconds(when, count * 7 * kSecondsPerDay, out);
    case Interval::Hour:
        return addSeconds(when, count * 3600, out);
    case Interval::Minute:
        return addSeconds(when, count * 60, out);
    case Interval::Second:
        return addSeconds(when, count, out);
    }
    return false;
}

// DateAdd(interval, number, date): the number is rounded to a whole one first.
void dateAdd(sqlite3_context *context, int, sqlite3_value **argv)
{
    Interval interval;
    long long count = 0;
    DateTime when, result;
    if (!intervalArgument(context, argv[0], &interval) || !wholeArgument(context, argv[1], &count)
        || !dateArgument(context, argv[2], &when))
        return;
    // More than ten thousand years of seconds lies outside every date either way.
    if (count > 400000000000LL || count < -400000000000LL || !addInterval(interval, count, when, &result)) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    resultDate(context, result);
}

// Boundaries crossed from one date to the other: DateDiff('d') counts midnights,
// DateDiff('ww') the first days of a week, DateDiff('w') whole seven-day spans.
long long difference(Interval interval, const DateTime &from, const DateTime &to, int firstDay)
{
    const long long days = dayNumber(to) - dayNumber(from);
    switch (interval) {
    case Interval::Year:
        return to.year - from.year;
    case Interval::Quarter:
        return (to.year * 4LL + (to.month - 1) / 3) - (from.year * 4LL + (from.month - 1) / 3);
    case Interval::Month:
        return (to.year * 12LL + to.month) - (from.year * 12LL + from.month);
    case Interval::DayOfYear:
    case Interval::Day:
        return days;
    case Interval::Weekday:
        return days / 7;
    case Interval::Week:
        return floorDivide(dayNumber(to) - firstDay, 7) - floorDivide(dayNumber(from) - firstDay, 7);
    case Interval::Hour:
        return days * 24 + to.hour - from.hour;
    case Interval::Minute:
        return (days * 24 + to.hour - from.hour) * 60 + to.minute - from.minute;
    case Interval::Second:
        return days * kSecondsPerDay + secondOfDay(to) - secondOfDay(from);
    }
    return 0;
}

// DateDiff(interval, date1, date2[, firstdayofweek[, firstweekofyear]])
void dateDiff(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    Interval interval;
    int firstDay = 1, rule = 1;
    DateTime from, to;
    if (!intervalArgument(context, argv[0], &interval) || !optionalChoice(context, argc, argv, 3, 7, &firstDay)
        || !optionalChoice(context, argc, argv, 4, 3, &rule) || !dateArgument(context, argv[1], &from)
        || !dateArgument(context, argv[2], &to))
        return;
    sqlite3_result_int64(context, difference(interval, from, to, firstDay));
}

// A name, or its first three letters when abbreviate is true (not 0).
bool nameArgument(sqlite3_context *context, int argc, sqlite3_value **argv, const char *name)
{
    Number abbreviate;
    if (argc > 1 && !numericArgument(context, argv[1], &abbreviate))
        return false;
    const bool shortened = argc > 1 && abbreviate.asDouble() != 0;
    resultText(context, shortened ? std::string(name).substr(0, 3) : std::string(name));
    return true;
}

// MonthName(month[, abbreviate]): month 1 to 12.
void monthName(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    long long month = 0;
    if (!wholeArgument(context, argv[0], &month))
        return;
    if (month < 1 || month > 12) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    nameArgument(context, argc, argv, kMonthNames[month - 1]);
}

// WeekdayName(weekday[, abbreviate[, firstdayofweek]]): weekday 1 to 7 counted from
// firstdayofweek (Sunday unless it says otherwise).
void weekdayName(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    long long day = 0;
    int firstDay = 1;
    if (!wholeArgument(context, argv[0], &day) || !optionalChoice(context, argc, argv, 2, 7, &firstDay))
        return;
    if (day < 1 || day > 7) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    nameArgument(context, argc, argv, kDayNames[(day - 1 + firstDay - 1) % 7]);
}

const FunctionEntry kIntervalFunctions[] = {
    {"fw_datepart", 2, datePart, true, 0}, {"fw_datepart", 3, datePart, true, 0},
    {"fw_datepart", 4, datePart, true, 0}, {"fw_weekday", 1, weekday, true, 0},
    {"fw_weekday", 2, weekday, true, 0},   {"fw_dateadd", 3, dateAdd, true, 0},
    {"fw_datediff", 3, dateDiff, true, 0}, {"fw_datediff", 4, dateDiff, true, 0},
    {"fw_datediff", 5, dateDiff, true, 0}, {"fw_monthname", 1, monthName, true, 0},
    {"fw_monthname", 2, monthName, true, 0}, {"fw_weekdayname", 1, weekdayName, true, 0},
    {"fw_weekdayname", 2, weekdayName, true, 0}, {"fw_weekdayname", 3, weekdayName, true, 0},
};

} // namespace

bool registerDateIntervalFunctions(sqlite3 *db)
{
    return registerFunctions(db, kIntervalFunctions);
}

} // namespace accessodbc
