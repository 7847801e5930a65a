#include "values/numbers.h"

#include <locale.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

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

namespace {

std::string withSignificantDigits(double value, int digits)
{
    if (value == 0)
        return "0";
    const CLocaleForThisThread plain;
    char text[40];
    std::snprintf(text, sizeof text, "%.*G", digits, value);
    return text;
}

} // namespace

std::string formatAccessDouble(double value) { return withSignificantDigits(value, 15); }

std::string significantDigits(double value, int *exponent)
{
    const CLocaleForThisThread plain;
    char text[40];
    std::snprintf(text, sizeof text, "%.14e", value);
    *exponent = std::atoi(std::strchr(text, 'e') + 1);
    return std::string(1, text[0]) + std::string(text + 2, 14);
}

std::string formatAccessSingle(double value) { return withSignificantDigits(value, 7); }

namespace {

// Below 2^53 both operands of the division are exact, so the quotient is correctly
// rounded; beyond it the decimal text is read instead.
const int64_t kExactlyRepresentable = int64_t(1) << 53;

} // namespace


double currencyValue(int64_t tenThousandths)
{
    if (tenThousandths > -kExactlyRepresentable && tenThousandths < kExactlyRepresentable)
        return double(tenThousandths) / 10000.0;
    double value = 0;
    parseDecimal(currencyText(tenThousandths).c_str(), &value);
    return value;
}

std::string currencyText(int64_t tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(tenThousandths) : uint64_t(tenThousandths);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    const unsigned fraction = unsigned(magnitude % 10000);
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, ".%04u", fraction);
        text += digits;
        text.erase(text.find_last_not_of('0') + 1);
    }
    return text;
}

bool currencyFitsDouble(int64_t tenThousandths)
{
    uint64_t magnitude = tenThousandths < 0 ? uint64_t(0) - uint64_t(tenThousandths) : uint64_t(tenThousandths);
    while (magnitude != 0 && magnitude % 10 == 0)
        magnitude /= 10;
    return magnitude < 1000000000000000ULL; // fewer than 16 significant digits
}


namespace {

// The digits of a decimal number and the power of ten its last digit stands for.
struct DecimalDigits {
    bool negative = false;
    std::string digits; // without leading zeros
    long long exponent = 0;
};

bool readDecimalDigits(const std::string &text, DecimalDigits *out)
{
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return false;
    if (text[i] == '+' || text[i] == '-')
        out->negative = text[i++] == '-';
    bool anyDigit = false, point = false;
    for (; i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || (text[i] == '.' && !point)); ++i) {
        if (text[i] == '.') {
            point = true;
            continue;
        }
        anyDigit = true;
        if (!out->digits.empty() || text[i] != '0')
            out->digits += text[i];
        if (point)
            --out->exponent;
    }
    if (!anyDigit)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        char *end = nullptr;
        const long long exponent = std::strtoll(text.c_str() + i + 1, &end, 10);
        if (end == text.c_str() + i + 1 || !std::isdigit(static_cast<unsigned char>(end[-1])))
            return false;
        out->exponent += std::max(-100000LL, std::min(100000LL, exponent));
        i = size_t(end - text.c_str());
    }
    return text.find_first_not_of(' ', i) == std::string::npos;
}

// Keeps the first count digits, rounding what is cut off half to even.
std::string roundedHalfEven(const std::string &digits, size_t count)
{
    std::string kept = digits.substr(0, count);
    const std::string cut = digits.substr(count);
    const bool aboveHalf
        = !cut.empty() && (cut[0] > '5' || (cut[0] == '5' && cut.find_first_not_of('0', 1) != std::string::npos));
    const bool half = !cut.empty() && cut[0] == '5' && !aboveHalf;
    const bool odd = !kept.empty() && (kept.back() - '0') % 2 == 1;
    if (!aboveHalf && !(half && odd))
        return kept;
    size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9')
        kept[--i] = '0';
    if (i == 0)
        kept.insert(kept.begin(), '1');
    else
        ++kept[i - 1];
    return kept;
}

} // namespace

bool currencyFromText(const std::string &text, int64_t *tenThousandths, bool *overflow)
{
    *overflow = false;
    DecimalDigits number;
    if (!readDecimalDigits(text, &number))
        return false;
    const long long shift = number.exponent + 4; // ten-thousandths
    std::string digits = number.digits;
    if (shift >= 0 && !digits.empty())
        digits.append(size_t(std::min(shift, 20LL)), '0');
    else if (shift < 0)
        digits = shift + (long long)digits.size() < 0 ? std::string()
                                                       : roundedHalfEven(digits, size_t(shift + (long long)digits.size()));
    uint64_t magnitude = 0;
    for (char digit : digits) {
        if (magnitude > (UINT64_MAX - 9) / 10) {
            *overflow = true;
            return false;
        }
        magnitude = magnitude * 10 + uint64_t(digit - '0');
    }
    const uint64_t limit = uint64_t(INT64_MAX) + (number.negative ? 1 : 0);
    if (magnitude > limit) {
        *overflow = true;
        return false;
    }
    *tenThousandths = number.negative ? int64_t(uint64_t(0) - magnitude) : int64_t(magnitude);
    return true;
}

} // namespace accessodbc
