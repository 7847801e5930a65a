#include "app/odbcdrivers.h"

#include "fernwick_driver_names.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

const QString jetDriverName = QString::fromLatin1(accessdriver::jetName);
const QString aceDriverName = QString::fromLatin1(accessdriver::aceName);

namespace {
class Environment
{
public:
    Environment()
    {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle))) {
            handle = SQL_NULL_HENV;
            return;
        }
        SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~Environment()
    {
        if (handle != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, handle);
    }
    Environment(const Environment &) = delete;
    Environment &operator=(const Environment &) = delete;

    SQLHENV handle = SQL_NULL_HENV;
};
}

// Asked of the driver manager itself: a failed connect does not say why in a form that
// survives translation, and the toolkit hands on no SQLSTATE. The ANSI entry point is named
// outright: with UNICODE defined, as Windows builds often have it, plain SQLDrivers would be
// the wide one and want SQLWCHAR buffers.
bool odbcDriverInstalled(const QString &name)
{
    Environment environment;
    if (environment.handle == SQL_NULL_HENV)
        return false;
    SQLCHAR description[512];
    SQLCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversA(environment.handle, direction, description, sizeof description,
                                     &descriptionLength, attributes, sizeof attributes, &attributesLength))) {
        if (QString::fromLocal8Bit(reinterpret_cast<const char *>(description)) == name)
            return true;
        direction = SQL_FETCH_NEXT;
    }
    return false;
}
