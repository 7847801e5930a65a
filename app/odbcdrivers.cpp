#include "app/odbcdrivers.h"

#include "fernwick_driver_names.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <iterator>

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
// survives translation, and the toolkit hands on no SQLSTATE. The wide entry point is named
// outright, whatever UNICODE says: every driver manager has it (Wine's odbc32 has no other),
// and a driver's name may be in any script.
bool odbcDriverInstalled(const QString &name)
{
    Environment environment;
    if (environment.handle == SQL_NULL_HENV)
        return false;
    SQLWCHAR description[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversW(environment.handle, direction, description, SQLSMALLINT(std::size(description)),
                                     &descriptionLength, attributes, SQLSMALLINT(std::size(attributes)),
                                     &attributesLength))) {
        const int length = qMin(int(descriptionLength), int(std::size(description)) - 1);
        if (QString::fromUtf16(reinterpret_cast<const ushort *>(description), length) == name)
            return true;
        direction = SQL_FETCH_NEXT;
    }
    return false;
}
