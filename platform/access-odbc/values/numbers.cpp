#include "values/numbers.h"

#include <locale.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace accessodbc {
namespace {

// printf and strtod take the decimal point from the calling thread's locale, which is the
// process's unless the thread has chosen one; a Qt application sets the process's from
// the environment. For the length of one call this thread uses the C locale, leaving
// the process's and every other thread's as they are.
class CLocaleForThisThread {
public:
    CLocaleForThisThread()
        : previous_(uselocale(cLocale()))
    {
    }
    ~CLocaleForThisThread() { uselocale(previous_); }
    CLocaleForThisThread(const CLocaleForThisThread &) = delete;
    CLocaleForThisThread &operator=(const CLocaleForThisThread &) = delete;

private:
    static locale_t cLocale()
    {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
        return c;
    }

    locale_t previous_;
};

} // namespace

bool parseNumber(const std::string &text, Number *out)
{
    const CLocaleForThisThread plain;
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

bool parseDecimal(const char *text, double *out)
{
    if (!text || !*text)
        return false;
    const CLocaleForThisThread plain;
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    if (*end != '\0' || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

std::string formatAccessDouble(double value)
{
    if (value == 0)
        return "0";
    const CLocaleForThisThread plain;
    char text[40];
    std::snprintf(text, sizeof text, "%.15G", value);
    return text;
}

double shortestDecimalOfFloat(float value)
{
    if (!std::isfinite(value))
        return double(value);
    const CLocaleForThisThread plain;
    char text[32];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, double(value));
        if (std::strtof(text, nullptr) == value)
            return std::strtod(text, nullptr);
    }
    return double(value);
}

} // namespace accessodbc
