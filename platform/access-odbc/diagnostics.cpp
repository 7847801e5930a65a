#include "diagnostics.h"

namespace accessodbc {

std::string driverMessage(const std::string &text)
{
    return "[KELDO-FERNWICK][Access ODBC driver] " + text;
}

void Diagnostics::clear()
{
    if (!records_.empty())
        records_.clear();
    lastReturn = SQL_SUCCESS;
}

SQLRETURN Diagnostics::error(const char *sqlState, const std::string &message, SQLINTEGER nativeError)
{
    records_.push_back({sqlState, nativeError, driverMessage(message)});
    lastReturn = SQL_ERROR;
    return SQL_ERROR;
}

void Diagnostics::warning(const char *sqlState, const std::string &message)
{
    records_.push_back({sqlState, 0, driverMessage(message)});
}

} // namespace accessodbc
