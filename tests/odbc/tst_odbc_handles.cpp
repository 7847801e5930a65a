// The driver called directly, with no driver manager in between, as an application that
// loads it itself would: a handle used again after it was freed is refused as an invalid
// handle rather than read.

#include "directdriver.h"
#include "odbcfixture.h"

using namespace odbcfixture;

namespace {

enum class Freed { Environment, Connection, Statement, StatementDropped };

} // namespace

class TestOdbcHandles : public QObject {
    Q_OBJECT

private:
    DirectDriver driver;

private slots:
    void initTestCase()
    {
        QVERIFY2(driver.load(FERNWICK_ODBC_DRIVER), dlerror());
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
