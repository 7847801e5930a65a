#pragma once

#include <string>

namespace accessodbc {

// Lower-case hexadecimal SHA-256 digest of the bytes of data.
std::string sha256Hex(const std::string &data);

}
