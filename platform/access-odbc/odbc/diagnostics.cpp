#include "odbc/diagnostics.h"

namespace accessodbc {

namespace {

// Messages are put together from parts (SQLite's text, a reason, a detail), some of which
// end in a period of their own; a message ends in exactly one.
std::string withOneFinalPeriod(const std::string &text)
{
    const size_t end = text.find_last_not_of('.');
    return (end == std::string::npos ? std::string() : text.substr(0, end + 1)) + ".";
}

} // namespace

std::string driverMessage(const std::string &text)
{
    return "[KELDO-FERNWICK][Access ODBC driver] " + withOneFinalPeriod(text);
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

SQLRETURN Diagnostics::error(AccessError which, const std::string &argument)
{
    const AccessErrorEntry &entry = accessError(which);
    return error(entry.sqlState, accessErrorText(which, argument), entry.nativeError);
}

void Diagnostics::warning(const char *sqlState, const std::string &message)
{
    records_.push_back({sqlState, 0, driverMessage(message)});
}

} // namespace accessodbc
