#pragma once

// Jet's fixed-size values as the driver hands them on.

#include <cstdint>
#include <string>

namespace accessodbc {
namespace jet {

// A little-endian integer of 1 to 8 bytes, sign-extended from its width.
int64_t littleEndianInteger(const unsigned char *bytes, int size);

// Unsigned little-endian fields of the file's own structures.
uint16_t littleEndian16(const unsigned char *p);
uint32_t littleEndian32(const unsigned char *p);

// Currency is a count of ten-thousandths. The result is the double nearest the exact
// decimal, so 0.1 reads back as 0.1 and never as 0.09999999999999999.
double currencyValue(int64_t tenThousandths);

// The exact decimal text of a Currency value, without trailing zeros: "52.84", "3",
// "922337203685477.5807".
std::string currencyText(int64_t tenThousandths);

// Whether the nearest double gives the exact decimal back in Access's text form of a
// double (at most 15 significant digits), so the value can be stored as a number.
bool currencyFitsDouble(int64_t tenThousandths);

// A Replication ID as Access shows it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::string guidText(const unsigned char bytes[16]);

} // namespace jet
} // namespace accessodbc
