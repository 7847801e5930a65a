#pragma once

// What the files of Access's SQL functions share: reading arguments the way Access
// converts them, handing back results, and a table entry per function.

#include <sqlite3.h>

#include <string>

namespace accessodbc {

struct Number;
struct DateTime;

struct FunctionEntry {
    const char *name;
    int argumentCount; // -1: any number
    void (*function)(sqlite3_context *, int, sqlite3_value **);
    bool deterministic;
    int userData;
};

bool registerFunctions(sqlite3 *db, const FunctionEntry *entries, size_t count);

template <size_t N> bool registerFunctions(sqlite3 *db, const FunctionEntry (&entries)[N])
{
    return registerFunctions(db, entries, N);
}

bool isNull(sqlite3_value *value);

// Most functions give Null for a Null argument: sets that result when value is Null.
bool resultNullFor(sqlite3_context *context, sqlite3_value *value);

// The number a table entry registered with its function.
int entryData(sqlite3_context *context);

std::string valueText(sqlite3_value *value);

// A value as CStr makes text of it: integers without decimals, reals as Access shows them.
std::string textOf(sqlite3_value *value);

// Access's numeric reading of a value; a Null or text that is not a number sets Access's
// error on context and fails.
bool numericArgument(sqlite3_context *context, sqlite3_value *value, Number *out);

// A whole number as a count or position, rounded half to even.
bool wholeArgument(sqlite3_context *context, sqlite3_value *value, long long *out);

// A date/time as Access converts one: a number is a day serial, text a stored date/time or
// what a #date# literal may hold.
bool readDate(sqlite3_value *value, DateTime *out);

// A date/time argument; Null sets a Null result, anything else that is no date Access's
// type mismatch, and either fails.
bool dateArgument(sqlite3_context *context, sqlite3_value *value, DateTime *out);

// The week of the year the date falls in: weeks start on firstDay (Sunday = 1), and week 1
// is the week of January 1 (rule 1), the first with four days (2) or the first full week (3).
long long weekOfYear(const DateTime &when, int firstDay, int rule);

void resultText(sqlite3_context *context, const std::string &text);
void resultDate(sqlite3_context *context, const DateTime &value);
void resultNumber(sqlite3_context *context, const Number &number);

// English month and day names (Sunday first), as English Windows writes them.
extern const char *const kMonthNames[12];
extern const char *const kDayNames[7];

extern const char kInvalidArgument[];
extern const char kTypeMismatch[];
extern const char kOverflow[];

// The functions of each file, registered under their names.
bool registerTextFunctions(sqlite3 *db);
bool registerDateFunctions(sqlite3 *db);
bool registerFormatFunctions(sqlite3 *db);
bool registerDateIntervalFunctions(sqlite3 *db);
bool registerConversionFunctions(sqlite3 *db);
bool registerAggregateFunctions(sqlite3 *db);
bool registerCurrencyFunctions(sqlite3 *db);

bool registerTextOrder(sqlite3 *db);

// The compare argument of Replace and StrComp at index, when given: 0 compares characters
// as they are; 1, and -1 or 2 (the database's setting, which is text comparison in a
// query), ignore case. Anything else sets Access's error and fails.
bool ignoresCase(sqlite3_context *context, int argc, sqlite3_value **argv, int index, bool *out);

} // namespace accessodbc
