// Access's conversions between numbers, text and dates beyond CStr and its kin: Val and
// Str read and write numbers as text, CCur rounds to Currency, CDate makes a date.

#include "sql/access_function_support.h"
#include "values/datetime.h"
#include "values/numbers.h"

#include <cctype>
#include <string>

namespace accessodbc {
namespace {

const char kInvalidUseOfNull[] = "Invalid use of Null";

bool notNull(sqlite3_context *context, sqlite3_value *value)
{
    if (!isNull(value))
        return true;
    sqlite3_result_error(context, kInvalidUseOfNull, -1);
    return false;
}

// A digit's value in bases up to 16; 16 for any other character.
unsigned digitValue(char c)
{
    const int lower = std::tolower(static_cast<unsigned char>(c));
    if (lower >= '0' && lower <= '9')
        return unsigned(lower - '0');
    return lower >= 'a' && lower <= 'f' ? unsigned(lower - 'a' + 10) : 16;
}

// &H1F and &O17 (or &17): a hexadecimal or octal whole number, as an Integer when it
// fits four hexadecimal digits and a Long when eight, so &HFFFF is -1.
double radixNumber(const std::string &text)
{
    const bool hex = text.size() > 1 && (text[1] == 'h' || text[1] == 'H');
    const bool octalMark = text.size() > 1 && (text[1] == 'o' || text[1] == 'O');
    const unsigned base = hex ? 16 : 8;
    unsigned long long value = 0;
    size_t digits = 0;
    for (size_t i = hex || octalMark ? 2 : 1; i < text.size() && digitValue(text[i]) < base && digits < 16; ++i) {
        value = value * base + digitValue(text[i]);
        ++digits;
    }
    if (value <= 0xFFFF && (hex ? digits <= 4 : value <= 0177777))
        return double(int16_t(uint16_t(value)));
    if (value <= 0xFFFFFFFFULL)
        return double(int32_t(uint32_t(value)));
    return double(value);
}

// The longest start of text that reads as a decimal number: sign, digits with one point,
// and an exponent (E or D) when digits follow it.
std::string decimalPrefix(const std::string &text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    bool point = false;
    for (; i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || (text[i] == '.' && !point)); ++i)
        point = point || text[i] == '.';
    std::string prefix = text.substr(0, i);
    if (i < text.size() && std::string("eEdD").find(text[i]) != std::string::npos) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        const size_t digits = j;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
            ++j;
        if (j > digits)
            prefix += "E" + text.substr(i + 1, j - i - 1);
    }
    return prefix;
}

// Val(text): blanks, tabs and line feeds are dropped anywhere, and the number the text
// starts with is read, so Val('12 34abc') is 1234 and Val('abc') 0.
void val(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (!notNull(context, argv[0]))
        return;
    std::string text;
    for (char c : textOf(argv[0])) {
        if (c != ' ' && c != '\t' && c != '\n')
            text += c;
    }
    if (!text.empty() && text[0] == '&') {
        sqlite3_result_double(context, radixNumber(text));
        return;
    }
    Number number;
    const std::string prefix = decimalPrefix(text);
    const bool hasDigits = prefix.find_first_of("0123456789") != std::string::npos;
    if (!hasDigits)
        sqlite3_result_double(context, 0);
    else if (parseNumber(prefix, &number))
        sqlite3_result_double(context, number.asDouble());
    else // a number beyond a Double's range
        sqlite3_result_error(context, kOverflow, -1);
}

// Str(number): a blank where a positive number's sign would be, and no zero before the
// point: Str(123) is " 123", Str(0.5) " .5", Str(-0.5) "-.5".
void str(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (resultNullFor(context, argv[0]) || !numericArgument(context, argv[0], &number))
        return;
    std::string text = number.isInteger ? std::to_string(number.integer) : formatAccessDouble(number.real);
    const bool negative = text[0] == '-';
    const size_t digits = negative ? 1 : 0;
    if (text.compare(digits, 2, "0.") == 0)
        text.erase(digits, 1);
    resultText(context, negative ? text : " " + text);
}

// CCur(number): half to even at the fourth decimal; the result is stored as Currency
// columns are, a number unless only its exact text keeps every digit.
void ccur(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    if (!notNull(context, argv[0]) || !numericArgument(context, argv[0], &number))
        return;
    const std::string text = sqlite3_value_type(argv[0]) == SQLITE_TEXT ? valueText(argv[0]) : textOf(argv[0]);
    int64_t tenThousandths = 0;
    bool overflow = false;
    if (!currencyFromText(text, &tenThousandths, &overflow)) {
        sqlite3_result_error(context, overflow ? kOverflow : kTypeMismatch, -1);
        return;
    }
    if (tenThousandths % 10000 == 0)
        sqlite3_result_int64(context, tenThousandths / 10000);
    else if (currencyFitsDouble(tenThousandths))
        sqlite3_result_double(context, currencyValue(tenThousandths));
    else
        resultText(context, currencyText(tenThousandths));
}

// CDate(value): a day serial or text holding a date, a time or both.
void cdate(sqlite3_context *context, int, sqlite3_value **argv)
{
    DateTime when;
    if (!notNull(context, argv[0]))
        return;
    if (readDate(argv[0], &when))
        resultDate(context, when);
    else
        sqlite3_result_error(context, kTypeMismatch, -1);
}

// IsNumeric(value, isDate) and IsDate(value, isDate): whether the value reads as a number
// (as CDbl reads it) or as a date (as CDate reads text); isDate says the translator knows
// it for a Date/Time, which is no number. Null is neither.
void isNumeric(sqlite3_context *context, int, sqlite3_value **argv)
{
    Number number;
    const int type = sqlite3_value_type(argv[0]);
    const bool numeric = type == SQLITE_INTEGER || type == SQLITE_FLOAT
                      || (type == SQLITE_TEXT && parseNumber(valueText(argv[0]), &number));
    sqlite3_result_int(context, numeric && sqlite3_value_int(argv[1]) == 0 ? 1 : 0);
}

void isDate(sqlite3_context *context, int, sqlite3_value **argv)
{
    DateTime when;
    const int type = sqlite3_value_type(argv[0]);
    const bool date = type != SQLITE_NULL
                   && (sqlite3_value_int(argv[1]) != 0 || (type == SQLITE_TEXT && readDate(argv[0], &when)));
    sqlite3_result_int(context, date ? 1 : 0);
}

const FunctionEntry kConversionFunctions[] = {
    {"fw_val", 1, val, true, 0},
    {"fw_str", 1, str, true, 0},
    {"fw_ccur", 1, ccur, true, 0},
    {"fw_cdate", 1, cdate, true, 0},
    {"fw_isnumeric", 2, isNumeric, true, 0},
    {"fw_isdate", 2, isDate, true, 0},
};

} // namespace

bool registerConversionFunctions(sqlite3 *db)
{
    return registerFunctions(db, kConversionFunctions);
}

} // namespace accessodbc
