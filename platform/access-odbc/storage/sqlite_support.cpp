#include "storage/sqlite_support.h"

namespace accessodbc {

bool executeSql(sqlite3 *db, const std::string &sql, std::string *error)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

} // namespace accessodbc
