#include "sql/access_functions.h"
#include "sql/access_function_support.h"
#include "values/numbers.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace accessodbc {

const char kInvalidArgument[] = "Invalid procedure call or argument";
const char kTypeMismatch[] = "Data type mismatch in criteria expression.";
const char kOverflow[] = "Overflow";

bool isNull(sqlite3_value *value) { return sqlite3_value_type(value) == SQLITE_NULL; }

bool resultNullFor(sqlite3_context *context, sqlite3_value *value)
{
    if (!isNull(value))
        return false;
    sqlite3_result_null(context);
    return true;
}

int entryData(sqlite3_context *context)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(sqlite3_user_data(context)));
}

std::string valueText(sqlite3_value *value)
{
    const unsigned char *text = sqlite3_value_text(value);
    return text ? std::string(reinterpret_cast<const char *>(text), size_t(sqlite3_value_bytes(value)))
                : std::string();
}

std::string textOf(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return formatAccessDouble(sqlite3_value_double(value));
    default:
        return valueText(value);
    }
}

// Text without a NUL inside is handed over as NUL-terminated, so SQLite keeps the
// terminator with its copy and need not copy the value once more when it is read.
void resultText(sqlite3_context *context, const std::string &text)
{
    const bool terminated = text.find('\0') == std::string::npos;
    sqlite3_result_text(context, text.c_str(), terminated ? -1 : int(text.size()), SQLITE_TRANSIENT);
}

void resultNumber(sqlite3_context *context, const Number &number)
{
    if (number.isInteger)
        sqlite3_result_int64(context, number.integer);
    else
        sqlite3_result_double(context, number.real);
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
        sqlite3_result_error(context, kTypeMismatch, -1);
        return false;
    }
}

namespace {

// Half to even, as Access rounds.
double roundedHalfEven(const Number &number)
{
    return number.isInteger ? double(number.integer) : std::nearbyint(number.real);
}

} // namespace

bool wholeArgument(sqlite3_context *context, sqlite3_value *value, long long *out)
{
    Number number;
    if (!numericArgument(context, value, &number))
        return false;
    const double rounded = roundedHalfEven(number);
    if (!(std::fabs(rounded) < 9e15)) {
        sqlite3_result_error(context, kOverflow, -1);
        return false;
    }
    *out = number.isInteger ? number.integer : (long long)rounded;
    return true;
}

bool registerFunctions(sqlite3 *db, const FunctionEntry *entries, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const FunctionEntry &entry = entries[i];
        const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (entry.deterministic ? SQLITE_DETERMINISTIC : 0);
        void *userData = reinterpret_cast<void *>(static_cast<intptr_t>(entry.userData));
        if (sqlite3_create_function(db, entry.name, entry.argumentCount, flags, userData, entry.function, nullptr,
                                    nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

namespace {

// Text, Memo and text that looks like a date all come back unchanged; a Date/Time value
// reaches fw_cstr_date instead, as the translator knows the column's type.
void cstr(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (isNull(argv[0]))
        sqlite3_result_null(context);
    else if (sqlite3_value_type(argv[0]) == SQLITE_TEXT)
        sqlite3_result_value(context, argv[0]);
    else
        resultText(context, textOf(argv[0]));
}

void cstrBoolean(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (resultNullFor(context, argv[0]))
        return;
    Number number;
    if (numericArgument(context, argv[0], &number))
        resultText(context, number.asDouble() != 0 ? "True" : "False");
}

// a & b & ...: Null counts as the empty string, unless every operand is Null.
void concatenate(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    std::string text;
    bool allNull = true;
    for (int i = 0; i < argc; ++i) {
        if (isNull(argv[i]))
            continue;
        allNull = false;
        text += textOf(argv[i]);
    }
    if (allNull)
        sqlite3_result_null(context);
    else
        resultText(context, text);
}

// An operand of arithmetic: Null stays Null, text must read as a number.
void toNumber(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (!resultNullFor(context, argv[0]) && numericArgument(context, argv[0], &number))
        resultNumber(context, number);
}

bool bothNumbers(sqlite3_context *context, sqlite3_value **argv, Number *a, Number *b)
{
    if (resultNullFor(context, argv[0]) || resultNullFor(context, argv[1]))
        return false;
    return numericArgument(context, argv[0], a) && numericArgument(context, argv[1], b);
}

// + adds numbers and joins two texts.
void plus(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        resultText(context, valueText(argv[0]) + valueText(argv[1]));
        return;
    }
    Number a, b;
    if (!bothNumbers(context, argv, &a, &b))
        return;
    long long sum = 0;
    if (a.isInteger && b.isInteger && !__builtin_add_overflow(a.integer, b.integer, &sum))
        sqlite3_result_int64(context, sum);
    else
        sqlite3_result_double(context, a.asDouble() + b.asDouble());
}

void divide(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number a, b;
    if (!bothNumbers(context, argv, &a, &b))
        return;
    if (b.asDouble() == 0)
        sqlite3_result_error(context, "Division by zero", -1);
    else
        sqlite3_result_double(context, a.asDouble() / b.asDouble());
}

// \ and Mod round both operands to whole numbers first, as Access does.
bool wholeOperands(sqlite3_context *context, sqlite3_value **argv, long long *a, long long *b)
{
    if (resultNullFor(context, argv[0]) || resultNullFor(context, argv[1]))
        return false;
    if (!wholeArgument(context, argv[0], a) || !wholeArgument(context, argv[1], b))
        return false;
    if (*b == 0) {
        sqlite3_result_error(context, "Division by zero", -1);
        return false;
    }
    return true;
}

void integerDivide(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long a = 0, b = 0;
    if (wholeOperands(context, argv, &a, &b))
        sqlite3_result_int64(context, b == -1 ? -a : a / b);
}

void modulo(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long a = 0, b = 0;
    if (wholeOperands(context, argv, &a, &b))
        sqlite3_result_int64(context, b == -1 ? 0 : a % b);
}

void power(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number a, b;
    if (!bothNumbers(context, argv, &a, &b))
        return;
    const double result = std::pow(a.asDouble(), b.asDouble());
    if (std::isfinite(result))
        sqlite3_result_double(context, result);
    else
        sqlite3_result_error(context, std::isnan(result) ? kInvalidArgument : kOverflow, -1);
}

// CInt and CLng round halves to the even neighbour, as Access does.
void roundedInteger(sqlite3_context *context, sqlite3_value *value, long long low, long long high)
{
    Number number;
    if (!numericArgument(context, value, &number))
        return;
    const double rounded = roundedHalfEven(number);
    if (rounded < double(low) || rounded > double(high)) {
        sqlite3_result_error(context, kOverflow, -1);
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

// A Single is held as the double of the same binary value, as Access widens one.
void csng(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (!numericArgument(context, argv[0], &number))
        return;
    if (std::fabs(number.asDouble()) > double(std::numeric_limits<float>::max()))
        sqlite3_result_error(context, kOverflow, -1);
    else
        sqlite3_result_double(context, double(float(number.asDouble())));
}

void cstrSingle(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (!resultNullFor(context, argv[0]) && numericArgument(context, argv[0], &number))
        resultText(context, formatAccessSingle(number.asDouble()));
}

// CByte rounds as CInt does, to 0 to 255.
void cbyte(sqlite3_context *context, int, sqlite3_value **argv) { roundedInteger(context, argv[0], 0, 255); }

// CBool: any number but 0 is True (-1); text must read as a number or as True or False.
void cbool(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        const std::string text = valueText(argv[0]);
        if (sqlite3_stricmp(text.c_str(), "True") == 0 || sqlite3_stricmp(text.c_str(), "False") == 0) {
            sqlite3_result_int(context, sqlite3_stricmp(text.c_str(), "True") == 0 ? -1 : 0);
            return;
        }
    }
    Number number;
    if (numericArgument(context, argv[0], &number))
        sqlite3_result_int(context, number.asDouble() != 0 ? -1 : 0);
}

// Int rounds down, Fix toward zero; both keep Null, and whole numbers as they are.
void wholePart(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (resultNullFor(context, argv[0]) || !numericArgument(context, argv[0], &number))
        return;
    if (!number.isInteger)
        number.real = entryData(context) == 0 ? std::floor(number.real) : std::trunc(number.real);
    resultNumber(context, number);
}

// Round(number[, places]): half to even, on the value as a Double holds it.
void round(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    Number number;
    long long places = 0;
    if (resultNullFor(context, argv[0]) || !numericArgument(context, argv[0], &number)
        || (argc > 1 && !wholeArgument(context, argv[1], &places)))
        return;
    if (places < 0 || places > 22) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    if (number.isInteger) {
        resultNumber(context, number);
        return;
    }
    const double scale = std::pow(10.0, double(places));
    const double scaled = number.real * scale;
    sqlite3_result_double(context, std::isfinite(scaled) ? std::nearbyint(scaled) / scale : number.real);
}

enum MathFunction { Sign, SquareRoot, Exponential, Logarithm, Arctangent, Sine, Cosine, Tangent };

// Sgn, Sqr, Exp, Log, Atn, Sin, Cos and Tan take a Double: Null is Invalid use of Null,
// and outside the function's domain Invalid procedure call or argument.
void math(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (!numericArgument(context, argv[0], &number))
        return;
    const double x = number.asDouble();
    const int function = entryData(context);
    if ((function == SquareRoot && x < 0) || (function == Logarithm && x <= 0)) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    double result = 0;
    switch (function) {
    case Sign:
        sqlite3_result_int(context, x > 0 ? 1 : x < 0 ? -1 : 0);
        return;
    case SquareRoot: result = std::sqrt(x); break;
    case Exponential: result = std::exp(x); break;
    case Logarithm: result = std::log(x); break;
    case Arctangent: result = std::atan(x); break;
    case Sine: result = std::sin(x); break;
    case Cosine: result = std::cos(x); break;
    default: result = std::tan(x); break;
    }
    if (std::isfinite(result))
        sqlite3_result_double(context, result);
    else
        sqlite3_result_error(context, kOverflow, -1);
}

// Hex and Oct of the number rounded half to even; a negative one in two's complement of
// an Integer's 16 bits, or a Long's 32, as its size needs. Null stays Null.
void radixText(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long value = 0;
    if (resultNullFor(context, argv[0]) || !wholeArgument(context, argv[0], &value))
        return;
    if (value < -2147483648LL || value > 4294967295LL) {
        sqlite3_result_error(context, kOverflow, -1);
        return;
    }
    const unsigned long long bits = value >= 0 ? (unsigned long long)value
                                    : value >= -32768 ? (unsigned long long)(value + 65536)
                                                      : (unsigned long long)(value + 4294967296LL);
    char text[24];
    std::snprintf(text, sizeof text, entryData(context) == 16 ? "%llX" : "%llo", bits);
    resultText(context, text);
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

const FunctionEntry kFunctions[] = {
    {"CStr", 1, cstr, true, 0},
    {"fw_cstr_bool", 1, cstrBoolean, true, 0},
    {"CInt", 1, cint, true, 0},
    {"CLng", 1, clng, true, 0},
    {"CDbl", 1, cdbl, true, 0},
    {"fw_csng", 1, csng, true, 0},
    {"fw_cstr_single", 1, cstrSingle, true, 0},
    {"fw_cbyte", 1, cbyte, true, 0},
    {"fw_cbool", 1, cbool, true, 0},
    {"fw_int", 1, wholePart, true, 0},
    {"fw_fix", 1, wholePart, true, 1},
    {"fw_round", 1, round, true, 0},
    {"fw_round", 2, round, true, 0},
    {"fw_sgn", 1, math, true, Sign},
    {"fw_sqr", 1, math, true, SquareRoot},
    {"fw_exp", 1, math, true, Exponential},
    {"fw_log", 1, math, true, Logarithm},
    {"fw_atn", 1, math, true, Arctangent},
    {"fw_sin", 1, math, true, Sine},
    {"fw_cos", 1, math, true, Cosine},
    {"fw_tan", 1, math, true, Tangent},
    {"fw_hex", 1, radixText, true, 16},
    {"fw_oct", 1, radixText, true, 8},
    {"IIf", 3, iif, true, 0},
    {"fw_cat", -1, concatenate, true, 0},
    {"fw_num", 1, toNumber, true, 0},
    {"fw_plus", 2, plus, true, 0},
    {"fw_div", 2, divide, true, 0},
    {"fw_intdiv", 2, integerDivide, true, 0},
    {"fw_mod", 2, modulo, true, 0},
    {"fw_pow", 2, power, true, 0},
};

} // namespace

bool registerAccessFunctions(sqlite3 *db)
{
    return registerFunctions(db, kFunctions) && registerTextFunctions(db) && registerDateFunctions(db)
           && registerFormatFunctions(db) && registerTextOrder(db) && registerDateIntervalFunctions(db)
           && registerConversionFunctions(db) && registerAggregateFunctions(db) && registerCurrencyFunctions(db);
}

} // namespace accessodbc
