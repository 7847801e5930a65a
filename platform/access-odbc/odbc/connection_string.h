#pragma once

#include <map>
#include <string>

namespace accessodbc {

// Keys in upper case, values with braces removed and "}}" read as "}".
using ConnectionAttributes = std::map<std::string, std::string>;

// Reads "KEY=value;KEY={va;lue}" as ODBC defines it. Unbraced values lose surrounding
// blanks; a value in braces keeps everything between them. Returns false, with a reason,
// on a brace that is never closed.
bool parseConnectionString(const std::string &text, ConnectionAttributes *out, std::string *error);

} // namespace accessodbc
