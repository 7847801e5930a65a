#pragma once

#include <string>

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

// Access's text form of a double: at most 15 significant digits, no trailing zeros,
// an upper-case exponent where one is needed ("2.5", "3", "1E+20").
std::string formatAccessDouble(double value);

} // namespace accessodbc
