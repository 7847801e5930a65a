#include "numbers.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace accessodbc {

bool parseNumber(const std::string &text, Number *out)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    if (begin == end)
        return false;
    const std::string trimmed = text.substr(begin, end - begin);
    const char *start = trimmed.c_str();
    char *stop = nullptr;

    errno = 0;
    const long long integer = std::strtoll(start, &stop, 10);
    if (errno == 0 && stop != start && *stop == '\0') {
        out->isInteger = true;
        out->integer = integer;
        return true;
    }
    errno = 0;
    const double real = std::strtod(start, &stop);
    if (stop == start || *stop != '\0' || !std::isfinite(real))
        return false;
    out->isInteger = false;
    out->real = real;
    return true;
}

std::string formatAccessDouble(double value)
{
    if (value == 0)
        return "0";
    char text[40];
    std::snprintf(text, sizeof text, "%.15G", value);
    return text;
}

} // namespace accessodbc
