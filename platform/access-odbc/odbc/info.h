#pragma once

// SQLGetInfo and SQLGetFunctions: what the driver says about itself.

#include "odbc/handles.h"

#include <string>

namespace accessodbc {

struct InfoValue {
    enum Kind { Text, SmallInt, Integer } kind = Text;
    std::string text;
    SQLUINTEGER number = 0;
};

SQLRETURN getInfo(Connection *connection, SQLUSMALLINT infoType, InfoValue *out);
SQLRETURN getFunctions(Connection *connection, SQLUSMALLINT functionId, SQLUSMALLINT *supported);

} // namespace accessodbc
