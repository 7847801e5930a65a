#include "jet/jet_values.h"

#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace accessodbc {
namespace jet {
namespace {

// Below 2^53 both operands of the division are exact, so the quotient is correctly
// rounded; beyond it the decimal text is read instead.
const int64_t kExactlyRepresentable = int64_t(1) << 53;

// A host application may have switched the process to a locale with a decimal comma.
double readPlainDecimal(const char *text, char **end)
{
    static const locale_t plain = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return strtod_l(text, end, plain);
}

} // namespace

int64_t littleEndianInteger(const unsigned char *bytes, int size)
{
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    const int unused = 64 - 8 * size;
    return unused > 0 ? int64_t(value << unused) >> unused : int64_t(value);
}

uint16_t littleEndian16(const unsigned char *p) { return uint16_t(p[0] | p[1] << 8); }

uint32_t littleEndian32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

double currencyValue(int64_t tenThousandths)
{
    if (tenThousandths > -kExactlyRepresentable && tenThousandths < kExactlyRepresentable)
        return double(tenThousandths) / 10000.0;
    return readPlainDecimal(currencyText(tenThousandths).c_str(), nullptr);
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

double singleValue(float value)
{
    if (!std::isfinite(value))
        return double(value);
    char text[32];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, double(value));
        if (std::strtof(text, nullptr) == value)
            return std::strtod(text, nullptr);
    }
    return double(value);
}

bool decimalTextValue(const char *text, double *out)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    const double value = readPlainDecimal(text, &end);
    if (*end != '\0' || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

std::string guidText(const unsigned char bytes[16])
{
    char text[40];
    std::snprintf(text, sizeof text,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  bytes[3], bytes[2], bytes[1], bytes[0], bytes[5], bytes[4], bytes[7], bytes[6],
                  bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

} // namespace jet
} // namespace accessodbc
