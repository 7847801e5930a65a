#pragma once

// ODBC's escape sequences, as generic tools and libraries write them, turned into the
// Access SQL they stand for: {d 'yyyy-mm-dd'}, {t 'hh:mm:ss'} and {ts '…'} become #date#
// literals, {fn NAME(…)} the Access function or operator, {oj …} the join it encloses,
// and LIKE's {escape 'c'} an ESCAPE clause that the translator takes. Everything else is
// left as it was written, byte for byte.

#include <string>

namespace accessodbc {
namespace sql {

struct EscapeTranslation {
    std::string sql;   // the statement without escape sequences
    std::string error; // Access's message when an escape cannot be read; empty otherwise
    int nativeError = 0; // its native error number
};

EscapeTranslation translateEscapes(const std::string &statement);

} // namespace sql
} // namespace accessodbc
