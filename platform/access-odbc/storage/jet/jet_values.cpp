#include "storage/jet/jet_values.h"

#include <cstdio>

namespace accessodbc {
namespace jet {
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
