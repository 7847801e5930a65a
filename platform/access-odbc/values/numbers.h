#pragma once

#include <cstdint>
#include <string>

// Every number the driver turns into text or reads from text passes through here. The
// text always follows C's conventions, '.' before the decimals and no grouping, whatever
// locale the application has set for the process.

namespace accessodbc {

struct Number {
    bool isInteger = false;
    long long integer = 0;
    double real = 0;

    double asDouble() const { return isInteger ? double(integer) : real; }
};

// Reads a whole text as a number, blanks around it allowed; "12" stays an integer,
// "12.5" and "1e3" become reals. Fails on empty text and on anything after the number.
bool parseNumber(const std::string &text, Number *out);

// Reads a whole text, without blanks, as a finite double ("-12.3400"); fails otherwise.
bool parseDecimal(const char *text, double *out);

// Access's text form of a double: at most 15 significant digits, no trailing zeros,
// an upper-case exponent where one is needed ("2.5", "3", "1E+20").
std::string formatAccessDouble(double value);

// The 15 significant digits of a finite double that is not negative, and the power of
// ten of the first: 1234.5 gives "123450000000000" and 3, 0 fifteen zeros and 0. Format
// rounds from these, as Access does.
std::string significantDigits(double value, int *exponent);

// Access's text form of a Single held as the double of the same binary value: at most 7
// significant digits, as CStr writes a Single (0.15, where the double is 0.150000005960464).
std::string formatAccessSingle(double value);

// Currency is a count of ten-thousandths. The result is the double nearest the exact
// decimal, so 0.1 reads back as 0.1 and never as 0.09999999999999999.
double currencyValue(int64_t tenThousandths);

// The exact decimal text of a Currency value, without trailing zeros: "52.84", "3",
// "922337203685477.5807".
std::string currencyText(int64_t tenThousandths);

// Whether the nearest double gives the exact decimal back in Access's text form of a
// double (at most 15 significant digits), so the value can be stored as a number.
bool currencyFitsDouble(int64_t tenThousandths);

// Reads a number's text exactly and rounds it half to even to ten-thousandths, as CCur
// does. Fails on text that is no number, and with overflow set beyond Currency's range.
bool currencyFromText(const std::string &text, int64_t *tenThousandths, bool *overflow);

} // namespace accessodbc
