#pragma once

// The diagnostic area of one handle: the records of the last call, read back by
// SQLGetDiagRec and SQLGetDiagField.

#include "sql/access_errors.h"

#include <sql.h>

#include <string>
#include <vector>

namespace accessodbc {

struct DiagRecord {
    std::string sqlState;
    SQLINTEGER nativeError = 0;
    std::string message;
};

class Diagnostics {
public:
    // Every entry point but the diagnostic ones starts a new area.
    void clear();

    // Records an error and gives the return code for it, so a caller can write
    // "return diag.error(...)".
    SQLRETURN error(const char *sqlState, const std::string &message, SQLINTEGER nativeError = -1);
    void warning(const char *sqlState, const std::string &message);
    // One of Access's own errors, with its SQLSTATE and native number.
    SQLRETURN error(AccessError which, const std::string &argument = std::string());

    const std::vector<DiagRecord> &records() const { return records_; }
    bool hasRecords() const { return !records_.empty(); }

    SQLRETURN lastReturn = SQL_SUCCESS;
    SQLLEN rowCount = -1;

private:
    std::vector<DiagRecord> records_;
};

// Every message carries the origin prefix ODBC asks for: vendor, then component; it ends
// in exactly one period.
std::string driverMessage(const std::string &text);

} // namespace accessodbc
