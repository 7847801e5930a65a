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

// A Replication ID as Access shows it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::string guidText(const unsigned char bytes[16]);

} // namespace jet
} // namespace accessodbc
