#include "storage/jet/jet_values.h"
#include "values/numbers.h"

#include <cstdio>

namespace accessodbc {
namespace jet {
namespace {

// Below 2^53 both operands of the division are exact, so the quotient is correctly
// rounded; beyond it the decimal text is read instead.
const int64_t kExactlyRepresentable = int64_t(1) << 53;

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
