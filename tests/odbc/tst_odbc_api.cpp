// The driver through the ODBC API itself, with unixODBC in between: the narrow (UTF-8)
// path, values handed out in parts, SQLSTATEs and column descriptions.

#include "odbcfixture.h"

#include <sql.h>
#include <sqlext.h>

using namespace odbcfixture;

namespace {

const char kSite[] = R"(
INSERT INTO GT_CHECKPOINT VALUES (1, NULL, '北门岗亭 😀', 12, 0);
INSERT INTO GT_PLAN VALUES (5, 2, '1899-12-30 08:00:00', '1899-12-30 09:30:00', 1, 2, '1111100',
                            '2021-06-06 00:00:00', 3, 2, 7, '2021-05-28 10:12:45');
)";

// One environment, connection and statement, freed in the right order.
struct OdbcSession {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLRETURN connectResult = SQL_ERROR;

    explicit OdbcSession(const QString &connectionString)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        QByteArray text = connectionString.toUtf8();
        connectResult = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS, nullptr, 0,
                                         nullptr, SQL_DRIVER_NOPROMPT);
        if (SQL_SUCCEEDED(connectResult))
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    }

    ~OdbcSession()
    {
        if (stmt)
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (SQL_SUCCEEDED(connectResult))
            SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    SQLRETURN exec(const char *sql)
    {
        return SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql)), SQL_NTS);
    }

    QString firstState(SQLSMALLINT type, SQLHANDLE handle) const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
        return QString::fromLatin1(reinterpret_cast<char *>(state));
    }
};

// Reads a character column through a buffer of chunkBytes, as many times as it takes.
QByteArray readInChunks(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, int chunkBytes, int *calls)
{
    const int terminator = cType == SQL_C_WCHAR ? 2 : 1;
    QByteArray whole;
    QByteArray buffer(chunkBytes, '\0');
    *calls = 0;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, cType, buffer.data(), chunkBytes, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        ++*calls;
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA)
            return QByteArray("<failed>");
        const int available = rc == SQL_SUCCESS_WITH_INFO ? (chunkBytes - terminator) / terminator * terminator
                                                         : int(indicator);
        whole.append(buffer.constData(), available);
    }
    return whole;
}

QString fromWideBytes(const QByteArray &bytes)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
}

} // namespace

class TestOdbcApi : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QString path;
    OdbcSession *session = nullptr;

    // Runs sql and fetches its first row.
    bool firstRow(const char *sql)
    {
        return SQL_SUCCEEDED(session->exec(sql)) && SQLFetch(session->stmt) == SQL_SUCCESS;
    }

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        path = makeDatabase(*dir, QString::fromUtf8(kSite), QStringLiteral("pw"));
        session = new OdbcSession(connectionString(path, QStringLiteral("pw")));
        QVERIFY(SQL_SUCCEEDED(session->connectResult));
    }

    void cleanup()
    {
        delete session;
        delete dir;
    }

    void textArrivesWholeOrInPartsOnBothPaths_data()
    {
        QTest::addColumn<int>("cType");
        QTest::addColumn<int>("chunk");
        QTest::newRow("char, whole") << int(SQL_C_CHAR) << 64;
        QTest::newRow("char, 3 bytes") << int(SQL_C_CHAR) << 3;
        QTest::newRow("char, 7 bytes") << int(SQL_C_CHAR) << 7;
        QTest::newRow("wide, whole") << int(SQL_C_WCHAR) << 64;
        QTest::newRow("wide, 3 units") << int(SQL_C_WCHAR) << 6;
        QTest::newRow("wide, 4 units") << int(SQL_C_WCHAR) << 8;
    }

    void textArrivesWholeOrInPartsOnBothPaths()
    {
        QFETCH(int, cType);
        QFETCH(int, chunk);
        QVERIFY(firstRow("select CheckPoint_Name from GT_CHECKPOINT"));
        int calls = 0;
        const QByteArray bytes = readInChunks(session->stmt, 1, SQLSMALLINT(cType), chunk, &calls);
        const QString text = cType == SQL_C_CHAR ? QString::fromUtf8(bytes) : fromWideBytes(bytes);
        QCOMPARE(text, QString::fromUtf8("北门岗亭 😀"));
        QCOMPARE(calls > 1, chunk < 64);
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_NO_DATA));
    }

    void refusedConnectionsCarryTheirState_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("state");
        QTest::newRow("wrong password") << "GuardTour_DB.mdb" << "nope" << "28000";
        QTest::newRow("missing file") << "gone.mdb" << "pw" << "HY024";
    }

    void refusedConnectionsCarryTheirState()
    {
        QFETCH(QString, file);
        QFETCH(QString, password);
        QFETCH(QString, state);
        OdbcSession refused(connectionString(dir->filePath(file), password));
        QCOMPARE(refused.connectResult, SQLRETURN(SQL_ERROR));
        QCOMPARE(refused.firstState(SQL_HANDLE_DBC, refused.dbc), state);
    }

    void getDataOutsideARowOrOfTheWrongTypeCarriesItsState()
    {
        QVERIFY(SQL_SUCCEEDED(session->exec("select Excute_Week & 'x' from GT_PLAN")));
        SQLINTEGER value = 0;
        QCOMPARE(SQLGetData(session->stmt, 1, SQL_C_SLONG, &value, 0, nullptr), SQLRETURN(SQL_ERROR));
        QCOMPARE(session->firstState(SQL_HANDLE_STMT, session->stmt), QStringLiteral("24000"));
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLGetData(session->stmt, 1, SQL_C_SLONG, &value, 0, nullptr), SQLRETURN(SQL_ERROR));
        QCOMPARE(session->firstState(SQL_HANDLE_STMT, session->stmt), QStringLiteral("22018"));
    }

    void catalogDescribesTimestampsAndColumns()
    {
        QCOMPARE(SQLGetTypeInfo(session->stmt, SQL_TYPE_TIMESTAMP), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_SUCCESS));
        SQLINTEGER size = 0;
        QCOMPARE(SQLGetData(session->stmt, 3, SQL_C_SLONG, &size, 0, nullptr), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(size, SQLINTEGER(19));
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_NO_DATA));
        SQLFreeStmt(session->stmt, SQL_CLOSE);

        QCOMPARE(SQLColumns(session->stmt, nullptr, 0, nullptr, 0, (SQLCHAR *)"GT_LINE", SQL_NTS, nullptr, 0),
                 SQLRETURN(SQL_SUCCESS));
        QStringList columns;
        while (SQLFetch(session->stmt) == SQL_SUCCESS) {
            char name[64] = {};
            SQLINTEGER type = 0;
            SQLGetData(session->stmt, 4, SQL_C_CHAR, name, sizeof name, nullptr);
            SQLGetData(session->stmt, 5, SQL_C_SLONG, &type, 0, nullptr);
            columns << QStringLiteral("%1:%2").arg(QString::fromUtf8(name)).arg(type);
        }
        QCOMPARE(columns, (QStringList{"id:4", "Line_Name:-9"}));
    }

    void boundColumnsAndTimestampStructsAreFilled()
    {
        QVERIFY(SQL_SUCCEEDED(session->exec("select ID, Excute_Week, Create_Time from GT_PLAN")));
        SQLINTEGER id = 0;
        char week[16] = {};
        SQLLEN weekIndicator = 0;
        SQLBindCol(session->stmt, 1, SQL_C_SLONG, &id, 0, nullptr);
        SQLBindCol(session->stmt, 2, SQL_C_CHAR, week, sizeof week, &weekIndicator);
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(id, SQLINTEGER(5));
        QCOMPARE(QByteArray(week), QByteArray("1111100"));
        QCOMPARE(weekIndicator, SQLLEN(7));
        SQL_TIMESTAMP_STRUCT stamp = {};
        QCOMPARE(SQLGetData(session->stmt, 3, SQL_C_TYPE_TIMESTAMP, &stamp, 0, nullptr), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(QList<int>({stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second}),
                 QList<int>({2021, 5, 28, 10, 12, 45}));
    }
};

QTEST_GUILESS_MAIN(TestOdbcApi)
#include "tst_odbc_api.moc"
