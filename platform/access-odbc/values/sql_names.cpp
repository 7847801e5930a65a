#include "values/sql_names.h"

namespace accessodbc {

std::string quotedIdentifier(const std::string &name)
{
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

} // namespace accessodbc
