#pragma once

#include "odbc/handles.h"

#include <string>

namespace accessodbc {

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
