#pragma once

#include "odbc/handles.h"

#include <string>

namespace accessodbc {

// The name under which the driver is registered, and the one its settings live under.
extern const char *const kDriverName;
// The name the driver of Access 2007 and later goes by; under it .accdb files open too.
extern const char *const kAceDriverName;

SQLRETURN connectWithString(Connection *connection, const std::string &connectionString);
SQLRETURN connectWithDsn(Connection *connection, const std::string &dsn, const std::string &password);
SQLRETURN disconnect(Connection *connection);

SQLRETURN setConnectionAttribute(Connection *connection, SQLINTEGER attribute, SQLPOINTER value);

struct ConnectionAttributeValue {
    bool isText = false;
    std::string text;
    SQLUINTEGER number = 0;
};
SQLRETURN getConnectionAttribute(Connection *connection, SQLINTEGER attribute, ConnectionAttributeValue *out);

} // namespace accessodbc
