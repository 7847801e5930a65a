// The driver called directly, with no driver manager in between, as an application that
// loads it itself would: a handle used again after it was freed is refused as an invalid
// handle rather than read.

#include "odbcfixture.h"

#include <sql.h>
#include <sqlext.h>

#include <dlfcn.h>

using namespace odbcfixture;

namespace {

// The driver's entry points, looked up in the library itself.
struct Driver {
    void *library = nullptr;
    SQLRETURN (*allocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *) = nullptr;
    SQLRETURN (*freeHandle)(SQLSMALLINT, SQLHANDLE) = nullptr;
    SQLRETURN (*setEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) = nullptr;
    SQLRETURN (*driverConnect)(SQLHDBC, SQLHWND, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *,
                               SQLUSMALLINT) = nullptr;
    SQLRETURN (*disconnect)(SQLHDBC) = nullptr;
    SQLRETURN (*getInfo)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*execDirect)(SQLHSTMT, SQLCHAR *, SQLINTEGER) = nullptr;
    SQLRETURN (*freeStmt)(SQLHSTMT, SQLUSMALLINT) = nullptr;

    template <typename F>
    void resolve(F *function, const char *name)
    {
        *function = reinterpret_cast<F>(dlsym(library, name));
    }

    bool load()
    {
        library = dlopen(FERNWICK_ODBC_DRIVER, RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return false;
        resolve(&allocHandle, "SQLAllocHandle");
        resolve(&freeHandle, "SQLFreeHandle");
        resolve(&setEnvAttr, "SQLSetEnvAttr");
        resolve(&driverConnect, "SQLDriverConnect");
        resolve(&disconnect, "SQLDisconnect");
        resolve(&getInfo, "SQLGetInfo");
        resolve(&execDirect, "SQLExecDirect");
        resolve(&freeStmt, "SQLFreeStmt");
        return allocHandle && freeHandle && setEnvAttr && driverConnect && disconnect && getInfo && execDirect
            && freeStmt;
    }
};

enum class Freed { Environment, Connection, Statement, StatementDropped };

} // namespace

class TestOdbcHandles : public QObject {
    Q_OBJECT

private:
    Driver driver;

private slots:
    void initTestCase()
    {
        QVERIFY2(driver.load(), dlerror());
    }

    void freedHandlesAreInvalid_data()
    {
        QTest::addColumn<int>("freed");
        QTest::newRow("environment") << int(Freed::Environment);
        QTest::newRow("connection") << int(Freed::Connection);
        QTest::newRow("statement") << int(Freed::Statement);
        QTest::newRow("statement dropped with SQLFreeStmt") << int(Freed::StatementDropped);
    }

    void freedHandlesAreInvalid()
    {
        QFETCH(int, freed);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QByteArray connection = connectionString(makeDatabase(dir, QString())).toUtf8();

        SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
        QCOMPARE(driver.allocHandle(SQL_HANDLE_ENV, nullptr, &env), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(driver.allocHandle(SQL_HANDLE_DBC, env, &dbc), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(driver.driverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(connection.data()), SQL_NTS, nullptr,
                                      0, nullptr, SQL_DRIVER_NOPROMPT),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(driver.allocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQLRETURN(SQL_SUCCESS));

        SQLCHAR sql[] = "select 1";
        if (Freed(freed) == Freed::StatementDropped)
            QCOMPARE(driver.freeStmt(stmt, SQL_DROP), SQLRETURN(SQL_SUCCESS));
        else
            QCOMPARE(driver.freeHandle(SQL_HANDLE_STMT, stmt), SQLRETURN(SQL_SUCCESS));
        if (Freed(freed) == Freed::Statement || Freed(freed) == Freed::StatementDropped) {
            QCOMPARE(driver.execDirect(stmt, sql, SQL_NTS), SQLRETURN(SQL_INVALID_HANDLE));
            QCOMPARE(driver.freeStmt(stmt, SQL_DROP), SQLRETURN(SQL_INVALID_HANDLE));
            QCOMPARE(driver.freeHandle(SQL_HANDLE_STMT, stmt), SQLRETURN(SQL_INVALID_HANDLE));
        }

        QCOMPARE(driver.disconnect(dbc), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(driver.freeHandle(SQL_HANDLE_DBC, dbc), SQLRETURN(SQL_SUCCESS));
        if (Freed(freed) == Freed::Connection) {
            SQLCHAR name[64];
            QCOMPARE(driver.getInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, nullptr), SQLRETURN(SQL_INVALID_HANDLE));
            QCOMPARE(driver.disconnect(dbc), SQLRETURN(SQL_INVALID_HANDLE));
            QCOMPARE(driver.freeHandle(SQL_HANDLE_DBC, dbc), SQLRETURN(SQL_INVALID_HANDLE));
        }

        QCOMPARE(driver.freeHandle(SQL_HANDLE_ENV, env), SQLRETURN(SQL_SUCCESS));
        if (Freed(freed) == Freed::Environment) {
            const SQLPOINTER version = reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3);
            QCOMPARE(driver.setEnvAttr(env, SQL_ATTR_ODBC_VERSION, version, 0), SQLRETURN(SQL_INVALID_HANDLE));
            QCOMPARE(driver.freeHandle(SQL_HANDLE_ENV, env), SQLRETURN(SQL_INVALID_HANDLE));
        }
    }
};

QTEST_GUILESS_MAIN(TestOdbcHandles)
#include "tst_odbc_handles.moc"
