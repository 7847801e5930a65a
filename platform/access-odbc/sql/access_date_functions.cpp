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
        sqlite3_result_error(context, "Overflow", -1);
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

// DateSerial(year, month, day): months and days past their range carry over, as in
// Access (month 13 is January of the next year, day 0 the last day of the month before).
void dateSerial(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long year = 0, month = 0, day = 0;
    if (!wholeArgument(context, argv[0], &year) || !wholeArgument(context, argv[1], &month)
        || !wholeArgument(context, argv[2], &day))
        return;
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

const char *const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char *const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string twoDigits(int value)
{
    return std::string(1, char('0' + value / 10 % 10)) + char('0' + value % 10);
}

int weekday(const DateTime &when)
{
    // 1899-12-30 was a Saturday.
    const long long days = (long long)std::floor(serialFromDateTime(DateTime{when.year, when.month, when.day}));
    return int(((days + 6) % 7 + 7) % 7);
}

// Format's named date forms, with the fixed short-date and long-time forms.
std::string namedFormat(const std::string &pattern)
{
    static const std::pair<const char *, const char *> names[] = {
        {"general date", ""},      {"short date", "yyyy-mm-dd"}, {"long date", "dddd, mmmm d, yyyy"},
        {"medium date", "dd-mmm-yy"}, {"long time", "hh:nn:ss"},   {"medium time", "hh:nn AM/PM"},
        {"short time", "hh:nn"}};
    std::string lowered;
    for (char c : pattern)
        lowered += char(std::tolower(static_cast<unsigned char>(c)));
    for (const auto &name : names) {
        if (lowered == name.first)
            return name.second;
    }
    return pattern;
}

bool startsWithWord(const std::string &pattern, size_t pos, const char *word)
{
    for (size_t i = 0; word[i]; ++i) {
        if (pos + i >= pattern.size() || std::tolower(static_cast<unsigned char>(pattern[pos + i])) != word[i])
            return false;
    }
    return true;
}

size_t runOf(const std::string &pattern, size_t pos)
{
    const char c = char(std::tolower(static_cast<unsigned char>(pattern[pos])));
    size_t end = pos;
    while (end < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[end])) == c)
        ++end;
    return end - pos;
}

bool hasClockSuffix(const std::string &pattern)
{
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (startsWithWord(pattern, i, "am/pm") || startsWithWord(pattern, i, "a/p"))
            return true;
    }
    return false;
}

// One run of a pattern letter; m after an hour is minutes, as in Access.
void formatRun(const DateTime &when, char letter, size_t run, bool twelveHour, bool afterHour, std::string *out)
{
    const int hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    const int hour = twelveHour ? hour12 : when.hour;
    switch (letter) {
    case 'y':
        if (run >= 3) {
            *out += std::to_string(when.year);
        } else if (run == 2) {
            *out += twoDigits(when.year % 100);
        } else {
            const double first = serialFromDateTime(DateTime{when.year, 1, 1});
            const double today = serialFromDateTime(DateTime{when.year, when.month, when.day});
            *out += std::to_string((long long)(today - first) + 1);
        }
        return;
    case 'm':
        if (afterHour && run <= 2)
            *out += run == 2 ? twoDigits(when.minute) : std::to_string(when.minute);
        else if (run >= 4)
            *out += kMonthNames[when.month - 1];
        else if (run == 3)
            *out += std::string(kMonthNames[when.month - 1]).substr(0, 3);
        else
            *out += run == 2 ? twoDigits(when.month) : std::to_string(when.month);
        return;
    case 'd':
        if (run >= 4)
            *out += kDayNames[weekday(when)];
        else if (run == 3)
            *out += std::string(kDayNames[weekday(when)]).substr(0, 3);
        else
            *out += run == 2 ? twoDigits(when.day) : std::to_string(when.day);
        return;
    case 'h':
        *out += run >= 2 ? twoDigits(hour) : std::to_string(hour);
        return;
    case 'n':
        *out += run >= 2 ? twoDigits(when.minute) : std::to_string(when.minute);
        return;
    case 's':
        *out += run >= 2 ? twoDigits(when.second) : std::to_string(when.second);
        return;
    case 'q':
        *out += std::to_string((when.month - 1) / 3 + 1);
        return;
    default:
        return;
    }
}

bool formatDate(const DateTime &when, const std::string &pattern, std::string *out)
{
    if (pattern.empty()) {
        *out = formatAccessDateTime(when);
        return true;
    }
    const bool twelveHour = hasClockSuffix(pattern);
    bool afterHour = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const char letter = char(std::tolower(static_cast<unsigned char>(c)));
        if (startsWithWord(pattern, i, "am/pm") || startsWithWord(pattern, i, "a/p")) {
            const bool longForm = startsWithWord(pattern, i, "am/pm");
            const std::string mark = when.hour < 12 ? (longForm ? "AM" : "A") : (longForm ? "PM" : "P");
            *out += std::isupper(static_cast<unsigned char>(c)) ? mark : std::string(1, char(std::tolower(mark[0])))
                                                                             + (longForm ? "m" : "");
            i += longForm ? 5 : 3;
        } else if (c == '"') {
            const size_t end = pattern.find('"', i + 1);
            *out += pattern.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? pattern.size() : end + 1;
        } else if (c == '\\' && i + 1 < pattern.size()) {
            *out += pattern[i + 1];
            i += 2;
        } else if (std::string("ymdhnsq").find(letter) != std::string::npos) {
            const size_t run = runOf(pattern, i);
            formatRun(when, letter, run, twelveHour, afterHour, out);
            afterHour = letter == 'h';
            i += run;
        } else if (std::string("0#@&%!<>").find(c) != std::string::npos) {
            return false;
        } else {
            *out += c;
            ++i;
        }
    }
    return true;
}

// Format(value, pattern) for dates and times: yyyy yy mmmm mmm mm m dddd ddd dd d hh h
// nn n ss s q y, AM/PM and A/P, "quoted" and \escaped text, and the named forms.
void format(sqlite3_context *context, int, sqlite3_value **argv)
{
    DateTime when;
    if (!dateArgument(context, argv[0], &when))
        return;
    if (isNull(argv[1])) {
        sqlite3_result_error(context, "Invalid use of Null", -1);
        return;
    }
    std::string text;
    if (formatDate(when, namedFormat(valueText(argv[1])), &text))
        resultText(context, text);
    else
        sqlite3_result_error(context, kInvalidArgument, -1);
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
    {"fw_format", 2, format, true, 0},
};

} // namespace

bool registerDateFunctions(sqlite3 *db)
{
    return registerFunctions(db, kDateFunctions);
}

} // namespace accessodbc
