#include "access_functions.h"
#include "datetime.h"
#include "numbers.h"

#include <sqlite3.h>

#include <cmath>
#include <string>

namespace accessodbc {
namespace {

std::string valueText(sqlite3_value *value)
{
    const unsigned char *text = sqlite3_value_text(value);
    return text ? std::string(reinterpret_cast<const char *>(text), size_t(sqlite3_value_bytes(value)))
                : std::string();
}

void resultText(sqlite3_context *context, const std::string &text)
{
    sqlite3_result_text(context, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

void cstr(sqlite3_context *context, int, sqlite3_value **argv)
{
    sqlite3_value *value = argv[0];
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    case SQLITE_INTEGER:
        resultText(context, std::to_string(sqlite3_value_int64(value)));
        return;
    case SQLITE_FLOAT:
        resultText(context, formatAccessDouble(sqlite3_value_double(value)));
        return;
    default: {
        // Date/time columns hold text; CStr gives every such value in the one fixed form.
        const std::string text = valueText(value);
        DateTime when;
        resultText(context, parseDateTime(text, &when) ? formatDateTime(when) : text);
        return;
    }
    }
}

// Access's numeric conversions: NULL is "Invalid use of Null", text must read as a number.
bool numericArgument(sqlite3_context *context, sqlite3_value *value, Number *out)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
        sqlite3_result_error(context, "Invalid use of Null", -1);
        return false;
    case SQLITE_INTEGER:
        out->isInteger = true;
        out->integer = sqlite3_value_int64(value);
        return true;
    case SQLITE_FLOAT:
        out->isInteger = false;
        out->real = sqlite3_value_double(value);
        return true;
    default:
        if (parseNumber(valueText(value), out))
            return true;
        sqlite3_result_error(context, "Data type mismatch in criteria expression.", -1);
        return false;
    }
}

// CInt and CLng round halves to the even neighbour, as Access does.
void roundedInteger(sqlite3_context *context, sqlite3_value *value, long long low, long long high)
{
    Number number;
    if (!numericArgument(context, value, &number))
        return;
    const double rounded = number.isInteger ? double(number.integer) : std::nearbyint(number.real);
    if (rounded < double(low) || rounded > double(high)) {
        sqlite3_result_error(context, "Overflow", -1);
        return;
    }
    sqlite3_result_int64(context, number.isInteger ? number.integer : (long long)rounded);
}

void cint(sqlite3_context *context, int, sqlite3_value **argv)
{
    roundedInteger(context, argv[0], -32768, 32767);
}

void clng(sqlite3_context *context, int, sqlite3_value **argv)
{
    roundedInteger(context, argv[0], -2147483648LL, 2147483647LL);
}

void cdbl(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (numericArgument(context, argv[0], &number))
        sqlite3_result_double(context, number.asDouble());
}

// NULL counts as false, as in an Access condition.
void iif(sqlite3_context *context, int, sqlite3_value **argv)
{
    bool condition = false;
    if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
        Number number;
        if (!numericArgument(context, argv[0], &number))
            return;
        condition = number.asDouble() != 0;
    }
    sqlite3_result_value(context, condition ? argv[1] : argv[2]);
}

// Without a replacement, Nz gives the zero-length string, as Access does in a query.
void nz(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) != SQLITE_NULL)
        sqlite3_result_value(context, argv[0]);
    else if (argc > 1)
        sqlite3_result_value(context, argv[1]);
    else
        sqlite3_result_text(context, "", 0, SQLITE_STATIC);
}

struct FunctionEntry {
    const char *name;
    int argumentCount;
    void (*function)(sqlite3_context *, int, sqlite3_value **);
};

const FunctionEntry kFunctions[] = {
    {"CStr", 1, cstr}, {"CInt", 1, cint}, {"CLng", 1, clng}, {"CDbl", 1, cdbl},
    {"IIf", 3, iif},   {"Nz", 1, nz},     {"Nz", 2, nz},
};

} // namespace

bool registerAccessFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    for (const FunctionEntry &entry : kFunctions) {
        if (sqlite3_create_function(db, entry.name, entry.argumentCount, flags, nullptr, entry.function,
                                    nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

} // namespace accessodbc
