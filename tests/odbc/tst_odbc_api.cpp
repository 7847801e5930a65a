// The driver through the ODBC API itself, with unixODBC in between: the narrow (UTF-8)
// path, values handed out in parts, SQLSTATEs and column descriptions, parameter markers
// and the catalog functions.

#include "odbcfixture.h"
#include "odbcrows.h"
#include "sql/sql_translate.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>

using namespace odbcfixture;

namespace {

const char kSite[] = R"(
INSERT INTO GT_CHECKPOINT VALUES (1, NULL, '北门岗亭 😀', 12, 0);
INSERT INTO GT_LINE VALUES (1, 'North');
INSERT INTO GT_LINE VALUES (2, 'South');
INSERT INTO GT_LINE VALUES (3, NULL);
INSERT INTO GT_PLAN VALUES (5, 2, '1899-12-30 08:00:00', '1899-12-30 09:30:00', 1, 2, '1111100',
                            '2021-06-06 00:00:00', 3, 2, 7, '2021-05-28 10:12:45');
)"
    // Names that begin with U+FEFF and U+FFFE, which UTF-16 readers take for byte-order marks.
    "INSERT INTO GT_CHECKPOINT VALUES (2, NULL, '\xEF\xBB\xBFNORTH', 13, 0);\n"
    "INSERT INTO GT_CHECKPOINT VALUES (3, NULL, '\xEF\xBF\xBESOUTH', 14, 0);\n";

QString longMemo()
{
    return QString::fromUtf8("长").repeated(30000) + QStringLiteral("x").repeated(40000) + QString::fromUtf8("😀");
}

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
        return firstRecord(type, handle).first;
    }

    // The SQLSTATE and message of the first diagnostic record.
    QPair<QString, QString> firstRecord(SQLSMALLINT type, SQLHANDLE handle) const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
        return {QString::fromLatin1(reinterpret_cast<char *>(state)), QString::fromUtf8(reinterpret_cast<char *>(message))};
    }

    // Every remaining row of the open result, its columns as text joined by '|', NULL as "NULL".
    QStringList rows() { return remainingRows(stmt); }
};

SQLCHAR *sqlText(const char *text)
{
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(text));
}

SQLLEN numberAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field)
{
    SQLLEN value = 0;
    SQLColAttribute(stmt, column, field, nullptr, 0, nullptr, &value);
    return value;
}

QString textAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field)
{
    char text[64] = {};
    SQLSMALLINT length = 0;
    SQLColAttribute(stmt, column, field, text, sizeof text, &length, nullptr);
    return QString::fromUtf8(text);
}

// What the translator must class a type as, told from its ODBC description alone.
accessodbc::sql::ValueKind expectedKind(SQLSMALLINT dataType, bool number)
{
    using accessodbc::sql::ValueKind;
    switch (dataType) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR:
    case SQL_GUID: // a Replication ID is the text Access shows, in braces
        return ValueKind::Text;
    case SQL_BIT:
        return ValueKind::Boolean;
    case SQL_TYPE_TIMESTAMP: case SQL_TYPE_DATE: case SQL_TYPE_TIME:
        return ValueKind::Date;
    case SQL_DECIMAL:
        return ValueKind::Currency;
    default:
        return number ? ValueKind::Number : ValueKind::Unknown;
    }
}

// The catalog and statement calls that start a new result on a statement.
enum class NewResult { ExecDirect, Prepare, Tables, Columns, TypeInfo, PrimaryKeys, Statistics, SpecialColumns };

SQLRETURN startResult(SQLHSTMT stmt, NewResult call)
{
    switch (call) {
    case NewResult::ExecDirect: return SQLExecDirect(stmt, sqlText("select id from GT_LINE"), SQL_NTS);
    case NewResult::Prepare: return SQLPrepare(stmt, sqlText("select id from GT_LINE"), SQL_NTS);
    case NewResult::Tables: return SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
    case NewResult::Columns: return SQLColumns(stmt, nullptr, 0, nullptr, 0, sqlText("GT_LINE"), SQL_NTS, nullptr, 0);
    case NewResult::TypeInfo: return SQLGetTypeInfo(stmt, SQL_ALL_TYPES);
    case NewResult::PrimaryKeys: return SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, sqlText("GT_LINE"), SQL_NTS);
    case NewResult::Statistics:
        return SQLStatistics(stmt, nullptr, 0, nullptr, 0, sqlText("GT_LINE"), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK);
    case NewResult::SpecialColumns:
        return SQLSpecialColumns(stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, sqlText("GT_LINE"), SQL_NTS,
                                 SQL_SCOPE_SESSION, SQL_NULLABLE);
    }
    return SQL_ERROR;
}

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
        // QODBC takes a cut part's length for all that is left, and reads on while it exceeds the part.
        if (rc == SQL_SUCCESS_WITH_INFO && indicator != SQL_NO_TOTAL && indicator <= available)
            return QByteArray("<the length of a cut part is not what is left>");
        whole.append(buffer.constData(), available);
    }
    return whole;
}

// A catalog argument: a null QString stands for a null pointer.
SQLCHAR *argument(const QByteArray &text, bool null)
{
    return null ? nullptr : reinterpret_cast<SQLCHAR *>(const_cast<char *>(text.constData()));
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

    // The memo has a file of its own, written once: no other test pays for writing it.
    QTemporaryDir memoDir;
    QString memoPath;

    QString memoSite()
    {
        if (memoPath.isEmpty())
            memoPath = makeDatabase(memoDir, QStringLiteral("INSERT INTO GT_CHECKPOINT VALUES (1, NULL, '%1', 1, 1);")
                                                 .arg(longMemo()));
        return memoPath;
    }

    // Runs sql and fetches its first row.
    bool firstRow(const char *sql)
    {
        return SQL_SUCCEEDED(session->exec(sql)) && SQLFetch(session->stmt) == SQL_SUCCESS;
    }

private slots:
    void initTestCase()
    {
        const QString problem = odbcfixture::localeNotInEffect();
        if (!problem.isEmpty())
            QFAIL(qPrintable(problem));
    }

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
        QTest::addColumn<bool>("memo"); // else checkpoint 1 of the site
        QTest::newRow("char, whole") << int(SQL_C_CHAR) << 64 << false;
        QTest::newRow("char, 3 bytes") << int(SQL_C_CHAR) << 3 << false;
        QTest::newRow("wide, whole") << int(SQL_C_WCHAR) << 64 << false;
        QTest::newRow("wide, 3 units") << int(SQL_C_WCHAR) << 6 << false;
        // A part never ends between the two bytes of one unit.
        QTest::newRow("wide, an odd number of bytes") << int(SQL_C_WCHAR) << 7 << false;
        // Many parts, or two of a 128 KiB buffer.
        QTest::newRow("long memo, char") << int(SQL_C_CHAR) << 4096 << true;
        QTest::newRow("long memo, wide") << int(SQL_C_WCHAR) << 65536 * 2 << true;
    }

    void textArrivesWholeOrInPartsOnBothPaths()
    {
        QFETCH(int, cType);
        QFETCH(int, chunk);
        QFETCH(bool, memo);
        std::unique_ptr<OdbcSession> memoSession;
        if (memo)
            memoSession.reset(new OdbcSession(connectionString(memoSite())));
        OdbcSession &reader = memoSession ? *memoSession : *session;
        QVERIFY(SQL_SUCCEEDED(reader.exec("select CheckPoint_Name from GT_CHECKPOINT where id = 1")));
        QCOMPARE(SQLFetch(reader.stmt), SQLRETURN(SQL_SUCCESS));
        int calls = 0;
        const QByteArray bytes = readInChunks(reader.stmt, 1, SQLSMALLINT(cType), chunk, &calls);
        const bool wide = cType == SQL_C_WCHAR;
        const QString expected = memo ? longMemo() : QString::fromUtf8("北门岗亭 😀");
        QCOMPARE(wide ? fromWideBytes(bytes) : QString::fromUtf8(bytes), expected);
        const int terminator = wide ? 2 : 1;
        QCOMPARE(calls > 1, bytes.size() + terminator > chunk);
        QCOMPARE(SQLFetch(reader.stmt), SQLRETURN(SQL_NO_DATA));
    }

    // A value that fills the buffer exactly leaves no room for its terminator: it is cut by one
    // character, and nothing is written past the buffer.
    void valueFillingTheBufferExactlyIsCut_data()
    {
        QTest::addColumn<int>("cType");
        QTest::newRow("char") << int(SQL_C_CHAR);
        QTest::newRow("wide") << int(SQL_C_WCHAR);
    }

    void valueFillingTheBufferExactlyIsCut()
    {
        QFETCH(int, cType);
        const bool wide = cType == SQL_C_WCHAR;
        const int unit = wide ? 2 : 1;
        const QString name = QStringLiteral("North");
        const int bufferBytes = name.size() * unit;
        const char guard = '\x5a';
        QByteArray buffer(bufferBytes + 8, guard);
        QVERIFY(firstRow("select Line_Name from GT_LINE where id = 1"));
        SQLLEN indicator = 0;
        QCOMPARE(SQLGetData(session->stmt, 1, SQLSMALLINT(cType), buffer.data(), bufferBytes, &indicator),
                 SQLRETURN(SQL_SUCCESS_WITH_INFO));
        QCOMPARE(session->firstState(SQL_HANDLE_STMT, session->stmt), QStringLiteral("01004"));
        QCOMPARE(indicator, SQLLEN(bufferBytes));
        const QByteArray delivered = buffer.left(bufferBytes - unit);
        QCOMPARE(wide ? fromWideBytes(delivered) : QString::fromUtf8(delivered), name.left(name.size() - 1));
        QCOMPARE(buffer.mid(bufferBytes - unit, unit), QByteArray(unit, '\0'));
        QCOMPARE(buffer.mid(bufferBytes), QByteArray(8, guard));
        int calls = 0;
        QCOMPARE(readInChunks(session->stmt, 1, SQLSMALLINT(cType), 64, &calls), wide ? QByteArray("h\0", 2) : "h");
    }

    // The state tells an application what went wrong; the message, which QODBC hands on as
    // it is, tells the operator reading the log.
    void refusedConnectionsCarryStateAndMessage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contents"); // written to the file first, when there are any
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("message"); // %1 stands for the file's path
        QTest::newRow("missing file") << "gone.mdb" << QByteArray() << "pw" << "HY024" << "Could not find file '%1'.";
        QTest::newRow("not a database")
            << "notes.mdb" << QByteArray("Standard notes, not a database at all, but long enough to have a header.\n")
            << "" << "HY000" << "Unrecognized database format '%1'.";
        QTest::newRow("password in other case") << "GuardTour_DB.mdb" << QByteArray() << "PW" << "28000"
                                                << "Not a valid password.";
        QTest::newRow("no password") << "GuardTour_DB.mdb" << QByteArray() << "" << "28000" << "Not a valid password.";
    }

    void refusedConnectionsCarryStateAndMessage()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, contents);
        QFETCH(QString, password);
        QFETCH(QString, state);
        QFETCH(QString, message);
        const QString refusedPath = dir->filePath(file);
        if (!contents.isEmpty()) {
            QFile written(refusedPath);
            QVERIFY(written.open(QIODevice::WriteOnly) && written.write(contents) == contents.size());
        }
        OdbcSession refused(connectionString(refusedPath, password));
        QCOMPARE(refused.connectResult, SQLRETURN(SQL_ERROR));
        const QPair<QString, QString> record = refused.firstRecord(SQL_HANDLE_DBC, refused.dbc);
        QCOMPARE(record.first, state);
        QVERIFY2(record.second.contains(QString(message).replace(QStringLiteral("%1"), refusedPath)),
                 qPrintable(record.second));
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

    void timestampTypeIsDescribedOnce()
    {
        QCOMPARE(SQLGetTypeInfo(session->stmt, SQL_TYPE_TIMESTAMP), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_SUCCESS));
        SQLINTEGER size = 0;
        QCOMPARE(SQLGetData(session->stmt, 3, SQL_C_SLONG, &size, 0, nullptr), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(size, SQLINTEGER(19));
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_NO_DATA));
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

    // A leading U+FEFF or U+FFFE is text like any other, from the storage and through the
    // string functions, on both paths.
    void textBeginningWithAByteOrderMarkKeepsIt_data()
    {
        QTest::addColumn<QByteArray>("expression");
        QTest::addColumn<int>("cType");
        for (const char *expression : {"CheckPoint_Name", "UCase(CheckPoint_Name)", "Mid(CheckPoint_Name, 1)",
                                       "CheckPoint_Name & ''"}) {
            QTest::addRow("%s, char", expression) << QByteArray(expression) << int(SQL_C_CHAR);
            QTest::addRow("%s, wide", expression) << QByteArray(expression) << int(SQL_C_WCHAR);
        }
    }

    void textBeginningWithAByteOrderMarkKeepsIt()
    {
        QFETCH(QByteArray, expression);
        QFETCH(int, cType);
        const QByteArray sql = "select " + expression + " from GT_CHECKPOINT where id > 1 order by id";
        QCOMPARE(session->exec(sql.constData()), SQLRETURN(SQL_SUCCESS));
        const std::u16string names[] = {u"\uFEFFNORTH", u"\uFFFESOUTH"};
        const QByteArray utf8[] = {"\xEF\xBB\xBFNORTH", "\xEF\xBF\xBESOUTH"};
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_SUCCESS));
            int calls = 0;
            const QByteArray expected = cType == SQL_C_CHAR
                ? utf8[i]
                : QByteArray(reinterpret_cast<const char *>(names[i].data()), int(names[i].size() * sizeof(char16_t)));
            QCOMPARE(readInChunks(session->stmt, 1, SQLSMALLINT(cType), 64, &calls), expected);
        }
    }

    // Text bound as UTF-8 or as UTF-16: QODBC takes only one of the two paths.
    void textParametersAreBoundOnBothPaths_data()
    {
        QTest::addColumn<bool>("wide");
        QTest::newRow("wide") << true;
        QTest::newRow("narrow UTF-8") << false;
    }

    void textParametersAreBoundOnBothPaths()
    {
        QFETCH(bool, wide);
        const QString name = QString::fromUtf8("北门岗亭 😀");
        QByteArray bytes = wide ? QByteArray(reinterpret_cast<const char *>(name.utf16()), name.size() * 2)
                                : name.toUtf8();
        SQLLEN indicator = bytes.size();
        QCOMPARE(SQLPrepare(session->stmt, sqlText("select id from GT_CHECKPOINT where CheckPoint_Name = ?"), SQL_NTS),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLBindParameter(session->stmt, 1, SQL_PARAM_INPUT, wide ? SQL_C_WCHAR : SQL_C_CHAR,
                                  wide ? SQL_WVARCHAR : SQL_VARCHAR, 255, 0, bytes.data(), bytes.size(), &indicator),
                 SQLRETURN(SQL_SUCCESS));
        const SQLRETURN executed = SQLExecute(session->stmt);
        QVERIFY2(SQL_SUCCEEDED(executed), qPrintable(session->firstRecord(SQL_HANDLE_STMT, session->stmt).second));
        QCOMPARE(session->rows(), QStringList{"1"});
    }

    // Numbers go out as text and text comes in as a number with '.', whatever the locale.
    void numbersAsTextKeepTheirPoint_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QByteArray>("parameter"); // bound as text to a numeric marker, when there is one
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("double fetched as text") << QByteArray("select 0.75") << QByteArray() << QByteArray("0.75");
        QTest::newRow("text parameter of a number") << QByteArray("select ? + 1") << QByteArray("1.5")
                                                    << QByteArray("2.5");
    }

    void numbersAsTextKeepTheirPoint()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QByteArray, parameter);
        QFETCH(QByteArray, expected);
        QCOMPARE(SQLPrepare(session->stmt, sqlText(sql.constData()), SQL_NTS), SQLRETURN(SQL_SUCCESS));
        SQLLEN parameterLength = parameter.size();
        if (!parameter.isEmpty())
            QCOMPARE(SQLBindParameter(session->stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DOUBLE, 15, 0,
                                      parameter.data(), parameter.size(), &parameterLength),
                     SQLRETURN(SQL_SUCCESS));
        const SQLRETURN executed = SQLExecute(session->stmt);
        QVERIFY2(SQL_SUCCEEDED(executed), qPrintable(session->firstRecord(SQL_HANDLE_STMT, session->stmt).second));
        QCOMPARE(session->rows(), QStringList{QString::fromLatin1(expected)});
    }

    // SQL_NUMERIC_STRUCT: its sign and its scale either way.
    void numericStructsAreBoundWithSignAndScale_data()
    {
        QTest::addColumn<int>("sign"); // 1 positive, 0 negative
        QTest::addColumn<int>("scale");
        QTest::addColumn<QByteArray>("magnitude"); // little-endian
        QTest::addColumn<QString>("expected");
        QTest::newRow("negative with places") << 0 << 2 << QByteArray::fromHex("3930") << "-123.45";
        QTest::newRow("positive, fewer digits than places") << 1 << 3 << QByteArray::fromHex("05") << "0.005";
        QTest::newRow("negative scale") << 1 << -2 << QByteArray::fromHex("07") << "700";
        QTest::newRow("negative whole number") << 0 << 0 << QByteArray::fromHex("2a") << "-42";
        // Beyond a 64-bit integer: a double, with its sign.
        QTest::newRow("2 to the 64th") << 1 << 0 << QByteArray::fromHex("000000000000000001") << "1.84467440737096E+19";
        QTest::newRow("minus 2 to the 64th") << 0 << 0 << QByteArray::fromHex("000000000000000001")
                                             << "-1.84467440737096E+19";
    }

    void numericStructsAreBoundWithSignAndScale()
    {
        QFETCH(int, sign);
        QFETCH(int, scale);
        QFETCH(QByteArray, magnitude);
        QFETCH(QString, expected);
        SQL_NUMERIC_STRUCT numeric = {};
        numeric.precision = 38;
        numeric.scale = SQLSCHAR(scale);
        numeric.sign = SQLCHAR(sign);
        std::memcpy(numeric.val, magnitude.constData(), size_t(magnitude.size()));
        QCOMPARE(SQLPrepare(session->stmt, sqlText("select ?"), SQL_NTS), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLBindParameter(session->stmt, 1, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_VARCHAR, 64, 0, &numeric,
                                  sizeof numeric, nullptr),
                 SQLRETURN(SQL_SUCCESS));
        const SQLRETURN executed = SQLExecute(session->stmt);
        QVERIFY2(SQL_SUCCEEDED(executed), qPrintable(session->firstRecord(SQL_HANDLE_STMT, session->stmt).second));
        QCOMPARE(session->rows(), QStringList{expected});
    }

    // A bound buffer is read when the statement runs, not when it is bound.
    void boundBuffersAreReadAtEachExecution()
    {
        QCOMPARE(SQLPrepare(session->stmt, sqlText("select Line_Name from GT_LINE where id = ?"), SQL_NTS),
                 SQLRETURN(SQL_SUCCESS));
        SQLSMALLINT markers = 0;
        QCOMPARE(SQLNumParams(session->stmt, &markers), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(markers, SQLSMALLINT(1));
        SQLINTEGER id = 1;
        QCOMPARE(SQLBindParameter(session->stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLExecute(session->stmt), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(session->rows(), QStringList{"North"});
        id = 2;
        QCOMPARE(SQLExecute(session->stmt), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(session->rows(), QStringList{"South"});
        QCOMPARE(SQLFreeStmt(session->stmt, SQL_RESET_PARAMS), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLExecute(session->stmt), SQLRETURN(SQL_ERROR));
        QCOMPARE(session->firstState(SQL_HANDLE_STMT, session->stmt), QStringLiteral("07002"));
    }

    void runningOnAnOpenCursorIsRefused_data()
    {
        QTest::addColumn<int>("call");
        QTest::newRow("SQLExecDirect") << int(NewResult::ExecDirect);
        QTest::newRow("SQLPrepare") << int(NewResult::Prepare);
        QTest::newRow("SQLTables") << int(NewResult::Tables);
        QTest::newRow("SQLColumns") << int(NewResult::Columns);
        QTest::newRow("SQLGetTypeInfo") << int(NewResult::TypeInfo);
        QTest::newRow("SQLPrimaryKeys") << int(NewResult::PrimaryKeys);
        QTest::newRow("SQLStatistics") << int(NewResult::Statistics);
        QTest::newRow("SQLSpecialColumns") << int(NewResult::SpecialColumns);
    }

    void runningOnAnOpenCursorIsRefused()
    {
        QFETCH(int, call);
        QCOMPARE(session->exec("select id from GT_LINE"), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(startResult(session->stmt, NewResult(call)), SQLRETURN(SQL_ERROR));
        QCOMPARE(session->firstState(SQL_HANDLE_STMT, session->stmt), QStringLiteral("24000"));
        QCOMPARE(SQLFreeStmt(session->stmt, SQL_CLOSE), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(startResult(session->stmt, NewResult(call)), SQLRETURN(SQL_SUCCESS));
    }

    void valuesBeyondTheTargetTypeAreOutOfRange_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<int>("cType");
        QTest::addColumn<QString>("state"); // empty: succeeds
        QTest::newRow("1e300 as float") << QByteArray("select 1e300") << int(SQL_C_FLOAT) << "22003";
        QTest::newRow("-1e300 as float") << QByteArray("select -1e300") << int(SQL_C_FLOAT) << "22003";
        QTest::newRow("1e300 as double") << QByteArray("select 1e300") << int(SQL_C_DOUBLE) << "";
        QTest::newRow("3.4e38 as float") << QByteArray("select 3.4e38") << int(SQL_C_FLOAT) << "";
        QTest::newRow("70000 as short") << QByteArray("select 70000") << int(SQL_C_SSHORT) << "22003";
    }

    void valuesBeyondTheTargetTypeAreOutOfRange()
    {
        QFETCH(QByteArray, sql);
        QFETCH(int, cType);
        QFETCH(QString, state);
        QVERIFY(firstRow(sql.constData()));
        char target[16] = {};
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(session->stmt, 1, SQLSMALLINT(cType), target, sizeof target, &indicator);
        QCOMPARE(rc, state.isEmpty() ? SQLRETURN(SQL_SUCCESS) : SQLRETURN(SQL_ERROR));
        if (!state.isEmpty())
            QCOMPARE(session->firstState(SQL_HANDLE_STMT, session->stmt), state);
    }

    void errorTextsEndInOnePeriod_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::newRow("function error with a period of its own") << QByteArray("select CInt('x')");
        QTest::newRow("function error without one") << QByteArray("select CInt(NULL)");
        QTest::newRow("unknown column") << QByteArray("select nosuch from GT_LINE");
        QTest::newRow("syntax") << QByteArray("select * from");
        QTest::newRow("write") << QByteArray("delete from GT_LINE");
    }

    void errorTextsEndInOnePeriod()
    {
        QFETCH(QByteArray, sql);
        SQLRETURN rc = session->exec(sql.constData());
        if (rc == SQL_SUCCESS) // a function fails when its row is stepped
            rc = SQLFetch(session->stmt);
        QCOMPARE(rc, SQLRETURN(SQL_ERROR));
        const QString message = session->firstRecord(SQL_HANDLE_STMT, session->stmt).second;
        QVERIFY2(message.endsWith(QLatin1Char('.')) && !message.endsWith(QLatin1String("..")), qPrintable(message));
    }

    // The native numbers Access's ODBC driver reports with these refusals, which
    // applications tell them apart by.
    void refusalsCarryAccessNativeNumbers_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("native");
        QTest::newRow("undefined function") << QByteArray("select Foo(1) from GT_LINE") << "42000" << -3102;
        QTest::newRow("undefined escape function") << QByteArray("select {fn NOSUCH(1)}") << "42000" << -3102;
        QTest::newRow("too few parameters") << QByteArray("select nosuch from GT_LINE") << "07002" << -3010;
        QTest::newRow("a marker without a value") << QByteArray("select ? from GT_LINE") << "07002" << -3010;
        QTest::newRow("missing table") << QByteArray("select * from nosuch") << "42S02" << -1305;
        QTest::newRow("syntax") << QByteArray("select id name from GT_LINE") << "42000" << -3100;
    }

    void refusalsCarryAccessNativeNumbers()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QString, state);
        QFETCH(int, native);
        QCOMPARE(session->exec(sql.constData()), SQLRETURN(SQL_ERROR));
        SQLCHAR reported[6] = {};
        SQLINTEGER number = 0;
        SQLCHAR message[512] = {};
        SQLSMALLINT length = 0;
        QCOMPARE(SQLGetDiagRec(SQL_HANDLE_STMT, session->stmt, 1, reported, &number, message, sizeof message, &length),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(QString::fromLatin1(reinterpret_cast<char *>(reported)), state);
        QCOMPARE(int(number), native);
    }

    // "%" as the catalog, the schema or the table type, with the other names empty,
    // lists catalogs, schemas or table types; anything else lists tables.
    void tablesListsCatalogsSchemasAndTypes_data()
    {
        QTest::addColumn<QStringList>("arguments"); // catalog, schema, table, type; "<null>" for a null pointer
        QTest::addColumn<QStringList>("expected");  // TABLE_CAT|TABLE_SCHEM|TABLE_NAME|TABLE_TYPE
        // No catalogs, as SQLGetInfo's SQL_CATALOG_NAME "N" says ("SQLTables Function": the
        // special request lists the data source's catalogs).
        QTest::newRow("catalogs") << QStringList{"%", "", "", "<null>"} << QStringList{};
        QTest::newRow("schemas") << QStringList{"", "%", "", "<null>"} << QStringList{};
        QTest::newRow("table types") << QStringList{"", "", "", "%"}
                                     << QStringList{"NULL|NULL|NULL|TABLE", "NULL|NULL|NULL|VIEW"};
        QTest::newRow("a table, catalog %") << QStringList{"%", "", "GT_LINE", "<null>"}
                                            << QStringList{"NULL|NULL|GT_LINE|TABLE"};
        QTest::newRow("a table, type %") << QStringList{"<null>", "<null>", "GT_LINE", "%"}
                                         << QStringList{"NULL|NULL|GT_LINE|TABLE"};
    }

    void tablesListsCatalogsSchemasAndTypes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        QByteArray texts[4];
        bool null[4];
        for (int i = 0; i < 4; ++i) {
            null[i] = arguments[i] == QLatin1String("<null>");
            texts[i] = arguments[i].toUtf8();
        }
        QCOMPARE(SQLTables(session->stmt, argument(texts[0], null[0]), SQL_NTS, argument(texts[1], null[1]), SQL_NTS,
                           argument(texts[2], null[2]), SQL_NTS, argument(texts[3], null[3]), SQL_NTS),
                 SQLRETURN(SQL_SUCCESS));
        QStringList rows;
        for (const QString &row : session->rows())
            rows << row.section(QLatin1Char('|'), 0, 3).replace(path, QStringLiteral("<database>"));
        QCOMPARE(rows, expected);
    }

    void primaryKeysAndIndexesOfTheStorage_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<int>("unique");
        QTest::addColumn<QStringList>("keys");       // SQLPrimaryKeys: TABLE_NAME|COLUMN_NAME|KEY_SEQ|PK_NAME
        QTest::addColumn<QStringList>("statistics"); // NON_UNIQUE|INDEX_NAME|TYPE|ORDINAL_POSITION|COLUMN_NAME|ASC_OR_DESC
        const QStringList lineStatistics{"NULL|NULL|0|NULL|NULL|NULL", "0|PrimaryKey|3|1|id|A"};
        QTest::newRow("table") << QByteArray("GT_LINE") << int(SQL_INDEX_ALL)
                               << QStringList{"GT_LINE|id|1|PrimaryKey"} << lineStatistics;
        QTest::newRow("name in other case") << QByteArray("gt_line") << int(SQL_INDEX_UNIQUE)
                                            << QStringList{"GT_LINE|id|1|PrimaryKey"} << lineStatistics;
        QTest::newRow("unknown table") << QByteArray("nosuch") << int(SQL_INDEX_ALL) << QStringList{}
                                       << QStringList{};
        QTest::newRow("password table stays hidden") << QByteArray("fw_database_password") << int(SQL_INDEX_ALL)
                                                     << QStringList{} << QStringList{};
    }

    void primaryKeysAndIndexesOfTheStorage()
    {
        QFETCH(QByteArray, table);
        QFETCH(int, unique);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, statistics);
        QCOMPARE(SQLPrimaryKeys(session->stmt, nullptr, 0, nullptr, 0, argument(table, false), SQL_NTS),
                 SQLRETURN(SQL_SUCCESS));
        QStringList found;
        for (const QString &row : session->rows())
            found << row.section(QLatin1Char('|'), 2);
        QCOMPARE(found, keys);
        QCOMPARE(SQLStatistics(session->stmt, nullptr, 0, nullptr, 0, argument(table, false), SQL_NTS,
                               SQLUSMALLINT(unique), SQL_QUICK),
                 SQLRETURN(SQL_SUCCESS));
        found.clear();
        for (const QString &row : session->rows())
            found << row.section(QLatin1Char('|'), 3, 3) + "|" + row.section(QLatin1Char('|'), 5, 9);
        QCOMPARE(found, statistics);
    }

    // SQLGetTypeInfo, SQLColAttribute on a column declared with each type's name, and the
    // translator's class of the type must tell the same story for every type the driver lists.
    void everyTypeIsDescribedAlikeEverywhere()
    {
        QCOMPARE(SQLGetTypeInfo(session->stmt, SQL_ALL_TYPES), SQLRETURN(SQL_SUCCESS));
        const QStringList types = session->rows();
        QVERIFY(!types.isEmpty());
        QStringList columns;
        for (const QString &row : types)
            columns << QStringLiteral("c_%1 %1").arg(row.section(QLatin1Char('|'), 0, 0));
        const QString typed = makeDatabase(*dir, QStringLiteral("CREATE TABLE Typed (%1);").arg(columns.join(", ")),
                                           QString(), QStringLiteral("typed.mdb"));
        OdbcSession site(connectionString(typed));
        QVERIFY(SQL_SUCCEEDED(site.connectResult));
        QVERIFY(SQL_SUCCEEDED(site.exec("select * from Typed")));

        const auto orEmpty = [](const QString &field) { return field == QLatin1String("NULL") ? QString() : field; };
        for (int i = 0; i < types.size(); ++i) {
            // TYPE_NAME|DATA_TYPE|COLUMN_SIZE|LITERAL_PREFIX|LITERAL_SUFFIX|...|SEARCHABLE|UNSIGNED_ATTRIBUTE|...
            // ...|NUM_PREC_RADIX
            const QStringList type = types[i].split(QLatin1Char('|'));
            const QString name = type[0];
            const SQLUSMALLINT column = SQLUSMALLINT(i + 1);
            QCOMPARE(textAttribute(site.stmt, column, SQL_DESC_TYPE_NAME), name);
            QCOMPARE(QString::number(numberAttribute(site.stmt, column, SQL_DESC_CONCISE_TYPE)), type[1]);
            QCOMPARE(QString::number(numberAttribute(site.stmt, column, SQL_DESC_LENGTH)), type[2]);
            QCOMPARE(textAttribute(site.stmt, column, SQL_DESC_LITERAL_PREFIX), orEmpty(type[3]));
            QCOMPARE(textAttribute(site.stmt, column, SQL_DESC_LITERAL_SUFFIX), orEmpty(type[4]));
            QCOMPARE(QString::number(numberAttribute(site.stmt, column, SQL_DESC_SEARCHABLE)), type[8]);
            const bool number = type[9] != QLatin1String("NULL");
            QCOMPARE(numberAttribute(site.stmt, column, SQL_DESC_UNSIGNED),
                     SQLLEN(type[9] == QLatin1String("0") ? SQL_FALSE : SQL_TRUE));
            QCOMPARE(QString::number(numberAttribute(site.stmt, column, SQL_DESC_NUM_PREC_RADIX)),
                     type[17] == QLatin1String("NULL") ? QStringLiteral("0") : type[17]);
            QCOMPARE(int(accessodbc::sql::kindOfDeclaredType(name.toUtf8().constData())),
                     int(expectedKind(SQLSMALLINT(type[1].toInt()), number)));
        }
    }

    // An expression is described by the Access type of its value, and SQLDescribeCol,
    // SQLColAttribute and SQLGetData with SQL_C_DEFAULT tell the same story about it.
    void expressionsAreDescribedByTheirType_data()
    {
        QTest::addColumn<QByteArray>("expression");
        QTest::addColumn<int>("sqlType");
        QTest::addColumn<QString>("value"); // what SQL_C_DEFAULT delivers, as text
        QTest::newRow("Max of a date") << QByteArray("Max(Create_Time)") << int(SQL_TYPE_TIMESTAMP)
                                       << "2021-05-28 10:12:45";
        QTest::newRow("date plus days") << QByteArray("Create_Time + 2") << int(SQL_TYPE_TIMESTAMP)
                                        << "2021-05-30 10:12:45";
        QTest::newRow("date literal") << QByteArray("#1/2/1995 10:30#") << int(SQL_TYPE_TIMESTAMP)
                                      << "1995-01-02 10:30:00";
        QTest::newRow("IIf of a date and Null") << QByteArray("IIf(ID = 5, Start_Date, Null)")
                                                << int(SQL_TYPE_TIMESTAMP) << "2021-06-06 00:00:00";
        QTest::newRow("comparison") << QByteArray("Start_Date > Create_Time") << int(SQL_BIT) << "1";
        QTest::newRow("false") << QByteArray("ID = 6") << int(SQL_BIT) << "0";
        QTest::newRow("count") << QByteArray("count(*)") << int(SQL_INTEGER) << "1";
    }

    void expressionsAreDescribedByTheirType()
    {
        QFETCH(QByteArray, expression);
        QFETCH(int, sqlType);
        QFETCH(QString, value);
        QVERIFY(SQL_SUCCEEDED(session->exec(("select " + expression + " from GT_PLAN").constData())));
        SQLSMALLINT described = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0, nullable = 0;
        QCOMPARE(SQLDescribeCol(session->stmt, 1, nullptr, 0, nullptr, &described, &size, &digits, &nullable),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(int(described), sqlType);
        QCOMPARE(numberAttribute(session->stmt, 1, SQL_DESC_CONCISE_TYPE), SQLLEN(sqlType));
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_SUCCESS));
        union {
            SQL_TIMESTAMP_STRUCT stamp;
            unsigned char bit;
            SQLINTEGER integer;
        } delivered = {};
        SQLLEN indicator = 0;
        QCOMPARE(SQLGetData(session->stmt, 1, SQL_C_DEFAULT, &delivered, sizeof delivered, &indicator),
                 SQLRETURN(SQL_SUCCESS));
        QString text;
        if (sqlType == SQL_TYPE_TIMESTAMP) {
            QCOMPARE(indicator, SQLLEN(sizeof delivered.stamp));
            const SQL_TIMESTAMP_STRUCT &s = delivered.stamp;
            text = QDateTime(QDate(s.year, s.month, s.day), QTime(s.hour, s.minute, s.second))
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        } else if (sqlType == SQL_BIT) {
            QCOMPARE(indicator, SQLLEN(sizeof delivered.bit));
            text = QString::number(delivered.bit);
        } else {
            QCOMPARE(indicator, SQLLEN(sizeof delivered.integer));
            text = QString::number(delivered.integer);
        }
        QCOMPARE(text, value);
    }

    // A bound date is a date where Access would take it for one; a bound true is Access's
    // Yes, which a Yes/No field holds as -1, whether it comes as a bit, or as a number or
    // text for a bit.
    void boundValuesKeepTheirAccessType()
    {
        QVERIFY(SQL_SUCCEEDED(SQLPrepare(session->stmt, sqlText("select ? - 1, ? = True, ? = True, ? = True "
                                                                "from GT_PLAN"), SQL_NTS)));
        SQL_TIMESTAMP_STRUCT stamp = {1995, 3, 1, 12, 0, 0, 0};
        unsigned char yes = 1;
        SQLINTEGER one = 1;
        char oneText[] = "1";
        QCOMPARE(SQLBindParameter(session->stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0,
                                  &stamp, 0, nullptr), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLBindParameter(session->stmt, 2, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 1, 0, &yes, 0, nullptr),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLBindParameter(session->stmt, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_BIT, 1, 0, &one, 0, nullptr),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLBindParameter(session->stmt, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_BIT, 1, 0, oneText, 0, nullptr),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLExecute(session->stmt), SQLRETURN(SQL_SUCCESS));
        SQLSMALLINT described = 0;
        QCOMPARE(SQLDescribeCol(session->stmt, 1, nullptr, 0, nullptr, &described, nullptr, nullptr, nullptr),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE(int(described), int(SQL_TYPE_TIMESTAMP));
        QCOMPARE(session->rows(), QStringList{"1995-02-28 12:00:00|1|1|1"});
    }

    // SQL_ARD_TYPE asks for the C type the column was bound with; never bound, its default.
    void getDataOfTheArdTypeTakesTheBoundType_data()
    {
        QTest::addColumn<int>("boundType");
        QTest::addColumn<int>("deliveredType");
        QTest::newRow("never bound") << 0 << int(SQL_C_SLONG);
        QTest::newRow("bound as text") << int(SQL_C_CHAR) << int(SQL_C_CHAR);
        QTest::newRow("bound as double") << int(SQL_C_DOUBLE) << int(SQL_C_DOUBLE);
        QTest::newRow("bound as the default") << int(SQL_C_DEFAULT) << int(SQL_C_SLONG);
    }

    void getDataOfTheArdTypeTakesTheBoundType()
    {
        QFETCH(int, boundType);
        QFETCH(int, deliveredType);
        QVERIFY(SQL_SUCCEEDED(session->exec("select ID from GT_PLAN")));
        char bound[32] = {};
        SQLLEN boundIndicator = 0;
        if (boundType)
            QCOMPARE(SQLBindCol(session->stmt, 1, SQLSMALLINT(boundType), bound, sizeof bound, &boundIndicator),
                     SQLRETURN(SQL_SUCCESS));
        QCOMPARE(SQLFetch(session->stmt), SQLRETURN(SQL_SUCCESS));
        union {
            SQLINTEGER integer;
            SQLDOUBLE real;
            char text[32];
        } value = {};
        SQLLEN indicator = 0;
        QCOMPARE(SQLGetData(session->stmt, 1, SQL_ARD_TYPE, &value, sizeof value, &indicator), SQLRETURN(SQL_SUCCESS));
        switch (deliveredType) {
        case SQL_C_SLONG:
            QCOMPARE(indicator, SQLLEN(sizeof value.integer));
            QCOMPARE(value.integer, SQLINTEGER(5));
            break;
        case SQL_C_DOUBLE:
            QCOMPARE(indicator, SQLLEN(sizeof value.real));
            QCOMPARE(value.real, 5.0);
            break;
        default:
            QCOMPARE(QByteArray(value.text), QByteArray("5"));
            QCOMPARE(indicator, SQLLEN(1));
        }
    }

    // A site file of its own with a Currency column, NOT NULL and an index of its own.
    void currencyIsADecimalOfFourPlaces()
    {
        const QString prices = makeDatabase(*dir, QStringLiteral(
            "CREATE TABLE Prices (id INTEGER PRIMARY KEY, Amount CURRENCY NOT NULL, Note TEXT(20));"
            "CREATE UNIQUE INDEX PricesNote ON Prices (Note DESC);"
            "INSERT INTO Prices VALUES (1, 52.84, 'a');"), QString(), QStringLiteral("prices.mdb"));
        OdbcSession site(connectionString(prices));
        QVERIFY(SQL_SUCCEEDED(site.connectResult));

        QCOMPARE(SQLGetTypeInfo(site.stmt, SQL_DECIMAL), SQLRETURN(SQL_SUCCESS));
        // TYPE_NAME|DATA_TYPE|COLUMN_SIZE|...|FIXED_PREC_SCALE|...|MINIMUM_SCALE|MAXIMUM_SCALE
        const QStringList types = site.rows();
        QCOMPARE(types.size(), 1);
        const QStringList type = types[0].split(QLatin1Char('|'));
        QCOMPARE((QStringList{type[0], type[1], type[2], type[10], type[13], type[14]}),
                 (QStringList{"CURRENCY", "3", "19", "1", "4", "4"}));

        QCOMPARE(SQLColumns(site.stmt, nullptr, 0, nullptr, 0, sqlText("Prices"), SQL_NTS, nullptr, 0),
                 SQLRETURN(SQL_SUCCESS));
        QStringList columns; // COLUMN_NAME|DATA_TYPE|TYPE_NAME|COLUMN_SIZE, DECIMAL_DIGITS, NULLABLE
        for (const QString &row : site.rows()) {
            const QStringList fields = row.split(QLatin1Char('|'));
            columns << QStringList{fields[3], fields[4], fields[5], fields[6], fields[8], fields[10]}.join('|');
        }
        QCOMPARE(columns, (QStringList{"id|4|INTEGER|10|NULL|1", "Amount|3|CURRENCY|19|4|0", "Note|-9|VARCHAR|20|NULL|1"}));

        QCOMPARE(SQLStatistics(site.stmt, nullptr, 0, nullptr, 0, sqlText("Prices"), SQL_NTS, SQL_INDEX_UNIQUE,
                               SQL_QUICK), SQLRETURN(SQL_SUCCESS));
        QStringList indexes;
        for (const QString &row : site.rows())
            indexes << row.section(QLatin1Char('|'), 3, 9);
        QCOMPARE(indexes, (QStringList{"NULL|NULL|NULL|0|NULL|NULL|NULL", "0|NULL|PricesNote|3|1|Note|D",
                                       "0|NULL|PrimaryKey|3|1|id|A"}));

        QVERIFY(SQL_SUCCEEDED(site.exec("select Amount from Prices")));
        SQLSMALLINT dataType = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        QCOMPARE(SQLDescribeCol(site.stmt, 1, nullptr, 0, nullptr, &dataType, &size, &digits, &nullable),
                 SQLRETURN(SQL_SUCCESS));
        QCOMPARE((QList<int>{dataType, int(size), digits, nullable}), (QList<int>{SQL_DECIMAL, 19, 4, SQL_NO_NULLS}));
        QCOMPARE(SQLFetch(site.stmt), SQLRETURN(SQL_SUCCESS));
        char text[32] = {};
        SQLLEN indicator = 0;
        QCOMPARE(SQLGetData(site.stmt, 1, SQL_C_DEFAULT, text, sizeof text, &indicator), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(QByteArray(text), QByteArray("52.84"));
        SQLFreeStmt(site.stmt, SQL_CLOSE);

        // Computed amounts are Currency too, as exact as the stored ones.
        QVERIFY(SQL_SUCCEEDED(site.exec("select Sum(Amount), Amount * 3, -Amount from Prices group by Amount")));
        for (SQLUSMALLINT column = 1; column <= 3; ++column) {
            QCOMPARE(SQLDescribeCol(site.stmt, column, nullptr, 0, nullptr, &dataType, &size, &digits, nullptr),
                     SQLRETURN(SQL_SUCCESS));
            QCOMPARE((QList<int>{dataType, int(size), digits}), (QList<int>{SQL_DECIMAL, 19, 4}));
        }
        QCOMPARE(site.rows(), QStringList{"52.84|158.52|-52.84"});
    }
};

QTEST_GUILESS_MAIN(TestOdbcApi)
#include "tst_odbc_api.moc"
