// ODBC clients call the driver from several threads, each on a connection of its own. Eight
// threads read every table of one database at once through one shared environment, and each
// must read what a lone reader reads. Under ThreadSanitizer (`make tsan`) this is the test
// that finds the driver's data races; in the normal build it guards the locking itself.
//
// The driver is loaded directly, as in tst_odbc_handles: a driver manager may serialise
// calls itself and would hide what the driver does not.

#include "directdriver.h"
#include "odbcfixture.h"

#include <QCryptographicHash>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace odbcfixture;

namespace {

const int kThreads = 8;

SQLCHAR *sqlText(QByteArray *text) { return reinterpret_cast<SQLCHAR *>(text->data()); }

// Every remaining row of the open result, each value as text, into the digest; the third
// column (the TABLE_NAME of SQLTables) also into tableNames.
bool readRows(const DirectDriver &driver, SQLHSTMT stmt, QCryptographicHash *digest, QStringList *tableNames = nullptr)
{
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(driver.numResultCols(stmt, &columns)))
        return false;
    SQLRETURN rc;
    while ((rc = driver.fetch(stmt)) == SQL_SUCCESS) {
        for (SQLUSMALLINT column = 1; column <= columns; ++column) {
            char value[512];
            SQLLEN indicator = 0;
            SQLRETURN part;
            while (SQL_SUCCEEDED(part = driver.getData(stmt, column, SQL_C_CHAR, value, sizeof value, &indicator))) {
                if (indicator == SQL_NULL_DATA) {
                    digest->addData("\x01", 1);
                    break;
                }
                const int length = indicator == SQL_NO_TOTAL || indicator >= SQLLEN(sizeof value)
                                     ? int(sizeof value) - 1 : int(indicator);
                digest->addData(value, length);
                if (tableNames && column == 3)
                    tableNames->append(QString::fromUtf8(value, length));
                if (part == SQL_SUCCESS)
                    break;
            }
            if (part == SQL_ERROR)
                return false;
            digest->addData("\x00", 1);
        }
    }
    return rc == SQL_NO_DATA && SQL_SUCCEEDED(driver.closeCursor(stmt));
}

// Connects, lists the tables and reads each whole; the digest of all it read, empty on a
// failure.
QByteArray readWholeDatabase(const DirectDriver &driver, SQLHENV env, const QString &path)
{
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (driver.allocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS)
        return QByteArray();
    QByteArray connection = connectionString(path).toUtf8();
    QByteArray result;
    if (SQL_SUCCEEDED(driver.driverConnect(dbc, nullptr, sqlText(&connection), SQL_NTS, nullptr, 0, nullptr,
                                           SQL_DRIVER_NOPROMPT))) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        driver.allocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        QCryptographicHash digest(QCryptographicHash::Sha256);
        QStringList tables;
        QByteArray tableType("TABLE");
        bool read = SQL_SUCCEEDED(driver.tables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, sqlText(&tableType), SQL_NTS))
                 && readRows(driver, stmt, &digest, &tables) && !tables.isEmpty();
        for (const QString &table : tables) {
            QByteArray select = QStringLiteral("SELECT * FROM [%1]").arg(table).toUtf8();
            read = read && SQL_SUCCEEDED(driver.execDirect(stmt, sqlText(&select), SQL_NTS))
                && readRows(driver, stmt, &digest);
        }
        if (read)
            result = digest.result();
        driver.freeHandle(SQL_HANDLE_STMT, stmt);
        driver.disconnect(dbc);
    }
    driver.freeHandle(SQL_HANDLE_DBC, dbc);
    return result;
}

} // namespace

class TestOdbcThreads : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    DirectDriver driver_;
    QString database_;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY2(driver_.load(FERNWICK_ODBC_DRIVER), dlerror());
        // nwind has every Jet type and a few thousand rows; without it a generated site
        // still gives the threads something to read.
        const QString nwind = QStringLiteral(FERNWICK_MDB_SAMPLES "/nwind.mdb");
        if (QFile::exists(nwind)) {
            database_ = nwind;
        } else {
            database_ = dir_.filePath(QStringLiteral("site.mdb"));
            QString error;
            QVERIFY2(gtdb::generateGuardTourDb(database_, 500, QString(), &error), qPrintable(error));
        }
    }

    void threadsReadWhatOneReads()
    {
        // The environment, the lone read and the eight readers all run off the test's
        // main thread: see tsan.supp.
        SQLRETURN freed = SQL_ERROR;
        QByteArray alone;
        std::vector<QByteArray> read(kThreads);
        std::thread lead([&] {
            SQLHENV env = SQL_NULL_HENV;
            if (driver_.allocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS)
                return;
            driver_.setEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
            alone = readWholeDatabase(driver_, env, database_);
            std::vector<std::thread> readers;
            for (int i = 0; i < kThreads; ++i)
                readers.emplace_back([&, i] { read[size_t(i)] = readWholeDatabase(driver_, env, database_); });
            for (std::thread &reader : readers)
                reader.join();
            freed = driver_.freeHandle(SQL_HANDLE_ENV, env);
        });
        lead.join();

        QVERIFY2(!alone.isEmpty(), "a lone reader could not read the database");
        for (int i = 0; i < kThreads; ++i)
            QVERIFY2(read[size_t(i)] == alone, qPrintable(QStringLiteral("thread %1 read otherwise").arg(i)));
        // Every connection counted out again: the environment has none left.
        QCOMPARE(freed, SQLRETURN(SQL_SUCCESS));
    }

    // SQLCancel from another thread stops a statement while it runs: the running call
    // fails with HY008 ("SQLCancel Function", ODBC Programmer's Reference: canceling
    // functions in multithread applications), and the statement runs again afterwards.
    void cancelFromAnotherThreadStopsARunningStatement()
    {
        const char *table = database_.endsWith(QLatin1String("nwind.mdb")) ? "Orders" : "GT_CHECKPOINT";
        QByteArray running = QStringLiteral("select count(*) from %1 a, %1 b, %1 c").arg(table).toUtf8();
        QByteArray quick = QStringLiteral("select count(*) from %1").arg(table).toUtf8();
        SQLRETURN cancelled = SQL_SUCCESS, again = SQL_ERROR;
        QString state;
        std::thread lead([&] {
            SQLHENV env = SQL_NULL_HENV;
            SQLHDBC dbc = SQL_NULL_HDBC;
            SQLHSTMT stmt = SQL_NULL_HSTMT;
            driver_.allocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
            driver_.setEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
            driver_.allocHandle(SQL_HANDLE_DBC, env, &dbc);
            QByteArray connection = connectionString(database_).toUtf8();
            driver_.driverConnect(dbc, nullptr, sqlText(&connection), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
            driver_.allocHandle(SQL_HANDLE_STMT, dbc, &stmt);
            std::atomic<bool> returned{false};
            // A cancel that comes after the call has nothing to cancel and leaves its
            // diagnostics as they are ("SQLCancel Function": no effect).
            std::thread runner([&] {
                cancelled = driver_.execDirect(stmt, sqlText(&running), SQL_NTS);
                SQLCHAR sqlState[6] = {};
                SQLINTEGER native = 0;
                SQLSMALLINT length = 0;
                driver_.getDiagRec(SQL_HANDLE_STMT, stmt, 1, sqlState, &native, nullptr, 0, &length);
                state = QString::fromLatin1(reinterpret_cast<char *>(sqlState));
                returned = true;
            });
            while (!returned) {
                driver_.cancel(stmt);
                std::this_thread::yield();
            }
            runner.join();
            again = driver_.execDirect(stmt, sqlText(&quick), SQL_NTS);
            driver_.freeHandle(SQL_HANDLE_STMT, stmt);
            driver_.disconnect(dbc);
            driver_.freeHandle(SQL_HANDLE_DBC, dbc);
            driver_.freeHandle(SQL_HANDLE_ENV, env);
        });
        lead.join();
        QCOMPARE(cancelled, SQLRETURN(SQL_ERROR));
        QCOMPARE(state, QStringLiteral("HY008"));
        QCOMPARE(again, SQLRETURN(SQL_SUCCESS));
    }
};

QTEST_GUILESS_MAIN(TestOdbcThreads)
#include "tst_odbc_threads.moc"
