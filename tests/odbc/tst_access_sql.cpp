// The Access SQL functions and the connection-string reader, without ODBC around them.

#include "access_functions.h"
#include "connection_string.h"

#include <QtTest>

#include <sqlite3.h>

using accessodbc::ConnectionAttributes;

namespace {

// Evaluates one expression on an in-memory database with the Access functions.
struct Evaluator {
    sqlite3 *db = nullptr;
    Evaluator()
    {
        sqlite3_open(":memory:", &db);
        accessodbc::registerAccessFunctions(db);
    }
    ~Evaluator() { sqlite3_close(db); }

    // The value as text, "NULL" for NULL, or "error: ..." when the expression fails.
    QString eval(const QString &expression)
    {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray sql = "SELECT " + expression.toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
        QString result;
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            result = sqlite3_column_type(stmt, 0) == SQLITE_NULL
                         ? QStringLiteral("NULL")
                         : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        } else {
            result = QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
        }
        sqlite3_finalize(stmt);
        return result;
    }
};

} // namespace

class TestAccessSql : public QObject {
    Q_OBJECT

private slots:
    void accessFunctions_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CStr integer") << "CStr(42)" << "42";
        QTest::newRow("CStr negative") << "CStr(-42)" << "-42";
        QTest::newRow("CStr decimal") << "CStr(2.50)" << "2.5";
        QTest::newRow("CStr whole real") << "CStr(3.0)" << "3";
        QTest::newRow("CStr 15 digits") << "CStr(0.1 + 0.2)" << "0.3";
        QTest::newRow("CStr large") << "CStr(1e20)" << "1E+20";
        QTest::newRow("CStr date") << "CStr('2021-06-06 08:05:09')" << "2021-06-06 08:05:09";
        QTest::newRow("CStr date only") << "CStr('2021-06-06')" << "2021-06-06 00:00:00";
        QTest::newRow("CStr invalid date stays text") << "CStr('2021-02-30')" << "2021-02-30";
        QTest::newRow("CStr text") << "CStr('北门')" << "北门";
        QTest::newRow("CStr NULL") << "CStr(NULL)" << "NULL";
        QTest::newRow("lower-case name") << "cstr(7)" << "7";
        QTest::newRow("CInt rounds half to even") << "CInt(2.5)" << "2";
        QTest::newRow("CInt rounds half to even, odd") << "CInt(3.5)" << "4";
        QTest::newRow("CInt text") << "CInt(' 12 ')" << "12";
        QTest::newRow("CInt overflow") << "CInt(40000)" << "error: Overflow";
        QTest::newRow("CLng") << "CLng(40000.4)" << "40000";
        QTest::newRow("CLng overflow") << "CLng(3000000000)" << "error: Overflow";
        QTest::newRow("CLng NULL") << "CLng(NULL)" << "error: Invalid use of Null";
        QTest::newRow("CDbl text") << "CDbl('1.25')" << "1.25";
        QTest::newRow("CDbl not a number") << "CDbl('abc')" << "error: Data type mismatch in criteria expression.";
        QTest::newRow("IIf true") << "IIf(1 = 1, 'yes', 'no')" << "yes";
        QTest::newRow("IIf NULL is false") << "IIf(NULL, 'yes', 'no')" << "no";
        QTest::newRow("Nz NULL") << "Nz(NULL, 'none')" << "none";
        QTest::newRow("Nz value") << "Nz(5, 0)" << "5";
        QTest::newRow("Nz without replacement") << "Nz(NULL)" << "";
    }

    void accessFunctions()
    {
        QFETCH(QString, expression);
        QFETCH(QString, expected);
        Evaluator evaluator;
        QCOMPARE(evaluator.eval(expression), expected);
    }

    void connectionString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("dbq");
        QTest::addColumn<QString>("pwd"); // both "<error>" when the text is refused
        QTest::newRow("application form") << "DRIVER={Microsoft Access Driver (*.mdb)};FIL={MS Access};"
                                             "DBQ=D:/data/GuardTour_DB.mdb;Uid=;Pwd="
                                          << "D:/data/GuardTour_DB.mdb" << "";
        QTest::newRow("keys in any case") << "dbq=a.mdb;pWd=x" << "a.mdb" << "x";
        QTest::newRow("blanks trimmed") << " DBQ = a b.mdb ; PWD= x " << "a b.mdb" << "x";
        QTest::newRow("braces keep blanks and separators") << "DBQ={ a;b.mdb };PWD={ x=y; }" << " a;b.mdb " << " x=y; ";
        QTest::newRow("doubled closing brace") << "DBQ={a}}b}}.mdb};PWD={}}}" << "a}b}.mdb" << "}";
        QTest::newRow("unknown keys ignored") << "Foo=1;DBQ=a.mdb;Bar={2}" << "a.mdb" << "";
        QTest::newRow("first occurrence wins") << "DBQ=a.mdb;DBQ=b.mdb" << "a.mdb" << "";
        QTest::newRow("no trailing value") << "DBQ=;PWD" << "" << "";
        QTest::newRow("unclosed brace") << "DBQ={a.mdb;PWD=x" << "<error>" << "<error>";
    }

    void connectionString()
    {
        QFETCH(QString, text);
        QFETCH(QString, dbq);
        QFETCH(QString, pwd);
        ConnectionAttributes attributes;
        std::string error;
        if (!accessodbc::parseConnectionString(text.toStdString(), &attributes, &error)) {
            QVERIFY(!error.empty());
            attributes["DBQ"] = attributes["PWD"] = "<error>";
        }
        QCOMPARE(QString::fromStdString(attributes["DBQ"]), dbq);
        QCOMPARE(QString::fromStdString(attributes["PWD"]), pwd);
    }
};

QTEST_GUILESS_MAIN(TestAccessSql)
#include "tst_access_sql.moc"
