// Access's date functions, and the conversions the translator puts around Date/Time
// values: to a day serial for comparing and arithmetic, and to text for CStr and &.

#include "sql/access_function_support.h"
#include "values/datetime.h"
#include "values/numbers.h"

#include <cmath>
#include <ctime>
#include <string>

namespace accessodbc {

// A date/time value as Access converts one: a number is a day serial, text is a stored
// date/time or what a #date# literal may hold.
bool readDate(sqlite3_value *value, DateTime *out)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return dateTimeFromSerial(sqlite3_value_double(value), out);
    case SQLITE_TEXT: {
        const std::string text = valueText(value);
        return parseDateTime(text, out) || parseDateLiteral(text, out);
    }
    default:
        return false;
    }
}

bool dateArgument(sqlite3_context *context, sqlite3_value *value, DateTime *out)
{
    if (resultNullFor(context, value))
        return false;
    if (readDate(value, out))
        return true;
    sqlite3_result_error(context, kTypeMismatch, -1);
    return false;
}

void resultDate(sqlite3_context *context, const DateTime &value) { resultText(context, formatDateTime(value)); }

namespace {

void serial(sqlite3_context *context, int, sqlite3_value **argv)
{
    const int type = sqlite3_value_type(argv[0]);
    DateTime when;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
        sqlite3_result_value(context, argv[0]);
    else if (dateArgument(context, argv[0], &when))
        sqlite3_result_double(context, serialFromDateTime(when));
}

void fromSerial(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (resultNullFor(context, argv[0]))
        return;
    DateTime when;
    if (dateTimeFromSerial(sqlite3_value_double(argv[0]), &when))
        resultDate(context, when);
    else
        sqlite3_result_error(context, kOverflow, -1);
}

// CStr of a Date/Time value; a value that is no date comes back as the text it is.
void cstrDate(sqlite3_context *context, int, sqlite3_value **argv)
{
    DateTime when;
    if (isNull(argv[0]))
        sqlite3_result_null(context);
    else if (readDate(argv[0], &when))
        resultText(context, formatAccessDateTime(when));
    else
        resultText(context, textOf(argv[0]));
}

enum DatePart { Year, Month, Day, Hour, Minute, Second };

void datePart(sqlite3_context *context, int, sqlite3_value **argv)
{
    DateTime when;
    if (!dateArgument(context, argv[0], &when))
        return;
    const int part = entryData(context);
    const int values[] = {when.year, when.month, when.day, when.hour, when.minute, when.second};
    sqlite3_result_int(context, values[part]);
}

DateTime localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    DateTime when;
    when.year = local.tm_year + 1900;
    when.month = local.tm_mon + 1;
    when.day = local.tm_mday;
    when.hour = local.tm_hour;
    when.minute = local.tm_min;
    when.second = std::min(local.tm_sec, 59);
    return when;
}

// Now(), Date() and Time(): userData says which parts of the present moment count.
void present(sqlite3_context *context, int, sqlite3_value **)
{
    const int parts = entryData(context);
    DateTime when = localNow();
    if (!(parts & 1))
        setDayZero(&when);
    if (!(parts & 2))
        when.hour = when.minute = when.second = 0;
    resultDate(context, when);
}

// The three whole numbers of DateSerial and TimeSerial.
bool threeWholeArguments(sqlite3_context *context, sqlite3_value **argv, long long (&out)[3])
{
    for (int i = 0; i < 3; ++i) {
        if (!wholeArgument(context, argv[i], &out[i]))
            return false;
    }
    return true;
}

// DateSerial(year, month, day): months and days past their range carry over, as in
// Access (month 13 is January of the next year, day 0 the last day of the month before).
void dateSerial(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long parts[3] = {};
    if (!threeWholeArguments(context, argv, parts))
        return;
    long long year = parts[0];
    const long long month = parts[1], day = parts[2];
    if (year >= 0 && year < 100)
        year = windowedYear(int(year));
    const long long months = year * 12 + month - 1;
    const long long carriedYear = months >= 0 ? months / 12 : -((11 - months) / 12);
    DateTime first;
    first.year = int(carriedYear);
    first.month = int(months - carriedYear * 12 + 1);
    first.day = 1;
    DateTime when;
    if (carriedYear < 100 || carriedYear > 9999 || std::llabs(day) > 4000000
        || !dateTimeFromSerial(serialFromDateTime(first) + double(day - 1), &when)) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    resultDate(context, when);
}

// DateValue and TimeValue: the date or the time of a date/time (a day serial, or text
// holding a date, a time or both); userData 1 keeps the date, 2 the time.
void datePortion(sqlite3_context *context, int, sqlite3_value **argv)
{
    DateTime when;
    if (!dateArgument(context, argv[0], &when))
        return;
    if (entryData(context) == 1)
        when.hour = when.minute = when.second = 0;
    else
        setDayZero(&when);
    resultDate(context, when);
}

// TimeSerial(hour, minute, second): minutes and seconds past their range carry over, as in
// DateSerial (TimeSerial(6, -15, 0) is 5:45); a time beyond a day lies on the days after,
// one before midnight on the days before (TimeSerial(0, -1, 0) is 23:59 of 1899-12-29).
void timeSerial(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long parts[3] = {};
    if (!threeWholeArguments(context, argv, parts))
        return;
    const long long hour = parts[0], minute = parts[1], second = parts[2];
    const long long limit = 1LL << 40;
    if (std::llabs(hour) > limit || std::llabs(minute) > limit || std::llabs(second) > limit) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    const long long seconds = hour * 3600 + minute * 60 + second;
    const long long days = seconds >= 0 ? seconds / 86400 : -((86399 - seconds) / 86400);
    const long long ofDay = seconds - days * 86400;
    DateTime when;
    if (std::llabs(days) > 4000000 || !dateTimeFromSerial(double(days), &when)) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    when.hour = int(ofDay / 3600);
    when.minute = int(ofDay / 60 % 60);
    when.second = int(ofDay % 60);
    resultDate(context, when);
}

const FunctionEntry kDateFunctions[] = {
    {"fw_serial", 1, serial, true, 0},
    {"fw_from_serial", 1, fromSerial, true, 0},
    {"fw_cstr_date", 1, cstrDate, true, 0},
    {"fw_year", 1, datePart, true, Year},
    {"fw_month", 1, datePart, true, Month},
    {"fw_day", 1, datePart, true, Day},
    {"fw_hour", 1, datePart, true, Hour},
    {"fw_minute", 1, datePart, true, Minute},
    {"fw_second", 1, datePart, true, Second},
    {"fw_now", 0, present, false, 3},
    {"fw_date", 0, present, false, 1},
    {"fw_time", 0, present, false, 2},
    {"fw_dateserial", 3, dateSerial, true, 0},
    {"fw_datevalue", 1, datePortion, true, 1},
    {"fw_timevalue", 1, datePortion, true, 2},
    {"fw_timeserial", 3, timeSerial, true, 0},
};

} // namespace

bool registerDateFunctions(sqlite3 *db)
{
    return registerFunctions(db, kDateFunctions);
}

} // namespace accessodbc
