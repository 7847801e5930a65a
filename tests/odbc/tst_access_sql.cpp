// Access SQL as the driver runs it, without ODBC around it: the statement is translated
// and run on an in-memory database with Access's functions; and the connection-string
// reader.

#include "sql/access_functions.h"
#include "odbcfixture.h"
#include "odbc/connection_string.h"
#include "values/numbers.h"
#include "sql/sql_translate.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <sqlite3.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <thread>

using accessodbc::ConnectionAttributes;

namespace {

// One row holds a value of every kind: a Text column and a Memo column that look like a
// date and a time, a date alone, a time alone, a date with its time, a Yes/No.
const char kTables[] = R"(
CREATE TABLE t (id INTEGER, name TEXT(50), memo LONGTEXT, born DATETIME, alarm DATETIME, stamp DATETIME,
                price DOUBLE, flag BIT, none TEXT(10));
INSERT INTO t VALUES (1, '2021-05-30', '12:30', '2021-05-30 00:00:00', '1899-12-30 12:30:00',
                      '2021-05-30 08:05:09', 2.5, 1, NULL);
CREATE TABLE u (n INTEGER, g TEXT(5));
INSERT INTO u VALUES (1, 'a'), (2, 'A'), (3, 'b'), (4, 'c'), (5, 'c'), (6, 'c'), (7, 'd'), (8, 'e'), (9, 'f'),
                     (10, 'g');
)";

struct Dialect {
    sqlite3 *db = nullptr;
    Dialect()
    {
        sqlite3_open(":memory:", &db);
        accessodbc::registerAccessFunctions(db);
        sqlite3_exec(db, kTables, nullptr, nullptr, nullptr);
    }
    ~Dialect() { sqlite3_close(db); }
    Dialect(const Dialect &) = delete;
    Dialect &operator=(const Dialect &) = delete;

    // Rows joined by ';', values by '|', "NULL" for NULL, or "error: ..." when the
    // statement is refused or fails.
    QString run(const QString &accessSql, QStringList *names = nullptr) const
    {
        const accessodbc::sql::Translation translation = accessodbc::sql::translate(accessSql.toStdString(), db);
        if (!translation.error.empty())
            return QStringLiteral("error: ") + QString::fromStdString(translation.error);
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, translation.sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            return QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
        for (int i = 0; names && i < sqlite3_column_count(stmt); ++i)
            *names << QString::fromUtf8(sqlite3_column_name(stmt, i));
        QStringList rows;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            QStringList values;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                values << (sqlite3_column_type(stmt, i) == SQLITE_NULL
                               ? QStringLiteral("NULL")
                               : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i))));
            }
            rows << values.join(QLatin1Char('|'));
        }
        const QString failure = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE ? rows.join(QLatin1Char(';')) : QStringLiteral("error: ") + failure;
    }
};

QString accessDateForm(const QDateTime &when)
{
    if (when.date() == QDate(1899, 12, 30))
        return when.toString(QStringLiteral("HH:mm:ss"));
    if (when.time() == QTime(0, 0))
        return when.toString(QStringLiteral("yyyy-MM-dd"));
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The LIKE pattern as a regular expression, built independently of the driver's matcher.
QRegularExpression likeAsRegex(const QString &pattern)
{
    QString regex = QStringLiteral("^");
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == '*') {
            regex += QStringLiteral(".*");
        } else if (c == '?') {
            regex += '.';
        } else if (c == '#') {
            regex += QStringLiteral("[0-9]");
        } else if (c == '[') {
            const int end = pattern.indexOf(']', i + 1);
            QString set = pattern.mid(i + 1, end - i - 1);
            const bool negated = set.startsWith('!');
            if (negated)
                set.remove(0, 1);
            regex += (negated ? QStringLiteral("[^") : QStringLiteral("["))
                   + QRegularExpression::escape(set).replace(QStringLiteral("\\-"), QStringLiteral("-")) + ']';
            i = end;
        } else {
            regex += QRegularExpression::escape(QString(c));
        }
    }
    return QRegularExpression(regex + '$', QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

class TestAccessSql : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString problem = odbcfixture::localeNotInEffect();
        if (!problem.isEmpty())
            QFAIL(qPrintable(problem));
    }

    // Text with a NUL inside keeps every byte through the functions that give text.
    void textWithNulKeepsEveryByte()
    {
        Dialect dialect;
        QCOMPARE(sqlite3_exec(dialect.db, "create table z (v TEXT(5)); insert into z values (char(97, 0, 98))",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        const accessodbc::sql::Translation translation =
            accessodbc::sql::translate("select CStr(v), v & 'c', CStr(v & 'd'), CStr(12) from z", dialect.db);
        QVERIFY2(translation.error.empty(), translation.error.c_str());
        sqlite3_stmt *stmt = nullptr;
        QCOMPARE(sqlite3_prepare_v2(dialect.db, translation.sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        const QList<QByteArray> expected{QByteArray("a\0b", 3), QByteArray("a\0bc", 4), QByteArray("a\0bd", 4), "12"};
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(sqlite3_column_type(stmt, i), SQLITE_TEXT);
            const char *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
            QCOMPARE(QByteArray(text, sqlite3_column_bytes(stmt, i)), expected.at(i));
            QCOMPARE(text[sqlite3_column_bytes(stmt, i)], '\0');
        }
        sqlite3_finalize(stmt);
    }

    void accessAnswers_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        // CStr of a Date/Time is checked over generated values below; Text and Memo come back as they are.
        QTest::newRow("CStr day zero at midnight") << "select CStr(#1899-12-30#)" << "00:00:00";
        QTest::newRow("CStr text that looks like a date") << "select CStr(name), CStr(memo) from t" << "2021-05-30|12:30";
        QTest::newRow("CStr text literal") << "select CStr('2021-06-06')" << "2021-06-06";
        QTest::newRow("CStr numbers, Yes/No, Null") << "select CStr(id), CStr(price), CStr(flag), CStr(none) from t"
                                                   << "1|2.5|True|NULL";
        QTest::newRow("CStr numbers") << "select CStr(-42), CStr(2.50), CStr(3.0), CStr(0.1 + 0.2), CStr(1e20)"
                                      << "-42|2.5|3|0.3|1E+20";
        QTest::newRow("stored date unchanged") << "select born from t" << "2021-05-30 00:00:00";
        QTest::newRow("CInt, CLng, CDbl") << "select CInt(2.5), CInt(3.5), CInt(' 12 '), CLng(40000.4), CDbl('1.25')"
                                          << "2|4|12|40000|1.25";
        QTest::newRow("CInt overflow") << "select CInt(40000)" << "error: Overflow";
        QTest::newRow("CLng Null") << "select CLng(NULL)" << "error: Invalid use of Null";
        QTest::newRow("IIf and Nz") << "select IIf(1 = 1, 'yes', 'no'), IIf(NULL, 'yes', 'no'), Nz(NULL, 'none'), Nz(NULL)"
                                    << "yes|no|none|";
        // &: Null counts as the empty string; a date joins in its CStr form.
        QTest::newRow("& with Null") << "select 'a' & NULL & 'b', NULL & NULL, 1 & 2.50" << "ab|NULL|12.5";
        QTest::newRow("& with a date and a Yes/No") << "select name & '|' & born & '|' & flag from t"
                                                  << "2021-05-30|2021-05-30|True";
        QTest::newRow("& binds looser than +") << "select 1 + 2 & 3" << "33";
        // LIKE wildcards are checked over generated text below; these are the cases it does not reach.
        QTest::newRow("LIKE beyond ASCII") << "select 'Ünïcode' like 'ü*', '北门岗亭' like '北?岗*'" << "-1|-1";
        QTest::newRow("NOT LIKE and Null") << "select 'abc' not like 'a*', NULL like 'a'" << "0|NULL";
        QTest::newRow("LIKE open set") << "select 'a' like '['" << "error: Invalid pattern string";
        QTest::newRow("LIKE on text that looks like a date") << "select count(*) from t where name like '2021-*'" << "1";
        // #date# literals, compared and computed as dates.
        // A two-digit year up to 29 lies in this century, from 30 on in the last.
        QTest::newRow("US date literal")
            << "select CStr(#5/30/2021#), CStr(#1/2/95#), CStr(#1/1/29#), CStr(#1/1/30#), CStr(#1/1/00#)"
            << "2021-05-30|1995-01-02|2029-01-01|1930-01-01|2000-01-01";
        QTest::newRow("ISO date and time literals")
            << "select CStr(#2021-05-30 13:45#), CStr(#1:45 PM#), CStr(#2021/5/30 0:00:01#)"
            << "2021-05-30 13:45:00|13:45:00|2021-05-30 00:00:01";
        QTest::newRow("date comparisons")
            << "select count(*) from t where born = #5/30/2021# and stamp > #5/30/2021# and alarm < #13:00#" << "1";
        QTest::newRow("BETWEEN and IN on dates")
            << "select count(*) from t where stamp between #5/29/2021# and #5/31/2021# and born in (#5/30/2021#)" << "1";
        QTest::newRow("date arithmetic") << "select CStr(born + 1), CStr(born - 1.5), CStr(stamp - born) from t"
                                         << "2021-05-31|2021-05-28 12:00:00|0.336909722223936";
        QTest::newRow("DateSerial carries over")
            << "select CStr(DateSerial(2021, 14, 0)), CStr(DateSerial(21, 1, 1)), CStr(DateSerial(2020, 3, -1))"
            << "2022-01-31|2021-01-01|2020-02-28";
        QTest::newRow("date parts") << "select Year(stamp), Month(stamp), Day(stamp), Hour(stamp), Minute(stamp), "
                                       "Second(stamp), Hour(alarm) from t"
                                    << "2021|5|30|8|5|9|12";
        QTest::newRow("date parts of Null") << "select Year(NULL), Month(none) from t" << "NULL|NULL";
        QTest::newRow("Format date and time") << "select Format(stamp, \"yyyy-mm-dd hh:nn:ss\") from t"
                                              << "2021-05-30 08:05:09";
        QTest::newRow("Format other patterns")
            << "select Format(stamp, 'dd/mm/yy h:m AM/PM'), Format(born, 'dddd d mmmm yyyy'), Format(stamp, 'mmm q'), "
               "Format(stamp, 'Short Date'), Format(alarm, 'Long Time'), Format(stamp, '\"at\" hh\\h') from t"
            << "30/05/21 8:5 AM|Sunday 30 May 2021|May 2|2021-05-30|12:30:00|at 08h";
        QTest::newRow("Format of a number pattern") << "select Format(price, '0.00') from t"
                                                    << "error: Invalid procedure call or argument";
        // The clock's digits differ from run to run; what # matches is proved over every digit below.
        QTest::newRow("Now, Date, Time") << "select CStr(Date()) like '####-##-##', Hour(Date()), CStr(Time()) like "
                                            "'##:##:##', Year(Now()) = Year(Date()) or Hour(Now()) = 0"
                                         << "-1|0|-1|-1";
        // True is -1 in Access; a Yes/No column keeps 1 as its stored value.
        QTest::newRow("True, False, Yes, No") << "select True, False, Yes, No, Not True, Not 0, Not 5" << "-1|0|-1|0|0|-1|-6";
        QTest::newRow("Yes/No column") << "select flag, flag = True, flag = 1, -flag from t" << "1|-1|0|1";
        QTest::newRow("Yes/No condition") << "select count(*) from t where flag and flag = Yes and not (flag = No)"
                                          << "1";
        QTest::newRow("comparison values") << "select 1 = 1, 1 <> 1, 2 >= 1, 'A' = 'a', 'b' > 'A'" << "-1|0|-1|-1|-1";
        QTest::newRow("arithmetic") << "select 7 / 2, 7 \\ 2, 7 Mod 3, 5.5 Mod 2, -7 Mod 3, CStr(-2 ^ 2), 2 ^ -1, 2 * 3 + 1"
                                    << "3.5|3|1|0|-1|-4|0.5|7";
        QTest::newRow("+ on text") << "select 'ab' + 'cd', '3' + 4, 3 - '1', NULL + 1" << "abcd|7|2|NULL";
        QTest::newRow("numeric text in arithmetic") << "select '1.5' + 1, 2 * ' 0.25 '" << "2.5|0.5";
        QTest::newRow("text in arithmetic") << "select 'x' * 2" << "error: Data type mismatch in criteria expression.";
        QTest::newRow("division by zero") << "select 1 / 0" << "error: Division by zero";
        QTest::newRow("text comparisons ignore case")
            << "select count(*) from u where g = 'A' or g in ('B') or g between 'C' and 'C'" << "6";
        QTest::newRow("IN a subquery ignores case") << "select count(*) from u where g in (select UCase(g) from u)"
                                                    << "10";
        // String functions count characters.
        QTest::newRow("Left, Right, Mid")
            << "select Left('abcdef', 2), Right('abcdef', 2), Mid('abcdef', 2, 3), Mid('abcdef', 4), Left$('ab', 9)"
            << "ab|ef|bcd|def|ab";
        QTest::newRow("Len and InStr") << "select Len('北门岗亭'), Len(''), InStr('abcabc', 'C'), InStr(3, 'abcabc', 'b'), "
                                          "InStr('abc', 'x'), InStr('abc', '')"
                                       << "4|0|3|5|0|1";
        QTest::newRow("UCase and LCase") << "select UCase('straße é'), LCase('ÀB Ωmega')" << "STRAßE É|àb ωmega";
        QTest::newRow("Trim") << "select '[' & Trim('  x  ') & '][' & LTrim('  x  ') & '][' & RTrim('  x  ') & ']'"
                              << "[x][x  ][  x]";
        QTest::newRow("string functions of Null") << "select Left(NULL, 2), Len(NULL), UCase(NULL), InStr(NULL, 'a')"
                                                  << "NULL|NULL|NULL|NULL";
        QTest::newRow("string functions of numbers and dates") << "select Left(2.5, 2), Len(12345), Left(born, 4) from t"
                                                             << "2.|5|2021";
        QTest::newRow("negative length") << "select Left('x', -1)" << "error: Invalid procedure call or argument";
        // TOP: ties at the boundary belong to the answer.
        QTest::newRow("TOP n with ties") << "select top 4 g from u order by g" << "a;A;b;c;c;c";
        QTest::newRow("TOP n PERCENT rounds up") << "select top 25 percent n from u order by n desc" << "10;9;8";
        QTest::newRow("TOP without ORDER BY") << "select count(*) from (select top 4 n from u)" << "4";
        QTest::newRow("TOP of an aggregate") << "select top 1 count(*) from u" << "10";
        QTest::newRow("TOP of groups") << "select top 1 g, count(*) as c from u group by g order by count(*) desc"
                                       << "c|3";
        QTest::newRow("TOP DISTINCT") << "select distinct top 2 g from u order by g" << "a;b";
        QTest::newRow("GROUP BY ignores case") << "select count(*) from u group by g having count(*) > 1" << "2;3";
        // Literals, names and comments are left as they are.
        QTest::newRow("literal with look-alikes") << "select 'it''s [not] a #date#, & -- nor /* a comment */ ?' as s"
                                                  << "it's [not] a #date#, & -- nor /* a comment */ ?";
        QTest::newRow("double-quoted literal") << "select \"double \"\"quoted\"\" 'text'\"" << "double \"quoted\" 'text'";
        QTest::newRow("names and comments") << "select [t].[id] /* comment */, t!price from [t] -- trailing" << "1|2.5";
        QTest::newRow("joins and subqueries")
            << "select t.id, (select count(*) from u where u.n <= t.id + 1) as c from (t inner join u on u.n = t.id) "
               "left join u as v on v.n = u.n + 100 where exists (select * from u where n = 10)"
            << "1|2";
        QTest::newRow("ORDER BY an alias") << "select n as k from u where n < 3 order by k desc" << "2;1";
        QTest::newRow("unknown table") << "select x from nosuch" << "error: no such table: nosuch";
        QTest::newRow("derived table of *") << "select d.n from (select * from u) as d where d.n = 2" << "2";
        QTest::newRow("UNION ignores case")
            << "select count(*) from (select g from u where n = 1 union select g from u where n = 2)" << "1";
        QTest::newRow("union") << "select n from u where n < 3 union select n + 100 from u where n = 1 order by n"
                               << "1;2;101";
    }

    void accessAnswers()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        Dialect dialect;
        QCOMPARE(dialect.run(sql), expected);
    }

    // Number text runs the C library under the C locale for this thread only, for the
    // length of one call: the caller gets its own locale back, and another thread that
    // formats with the process's locale meanwhile never meets the C one.
    void numberTextLeavesEveryThreadItsLocale()
    {
        const locale_t callers = uselocale(locale_t(0));
        const char processPoint = *localeconv()->decimal_point;
        std::atomic<bool> started{false}, finished{false};
        int strayPoints = 0;
        std::thread other([&] {
            while (!started)
                std::this_thread::yield();
            char text[16];
            for (int i = 0; i < 20000; ++i) {
                std::snprintf(text, sizeof text, "%.1f", 0.5);
                strayPoints += text[1] != processPoint;
            }
            finished = true;
        });
        started = true;
        accessodbc::Number number;
        while (!finished) {
            accessodbc::formatAccessDouble(0.5);
            accessodbc::parseNumber("0.5", &number);
        }
        other.join();
        QCOMPARE(uselocale(locale_t(0)), callers);
        QCOMPARE(*localeconv()->decimal_point, processPoint);
        QCOMPARE(strayPoints, 0);
    }

    void refusedWithAccessMessages_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("state");
        QTest::newRow("unknown function") << "select Foo(1)" << "Undefined function 'Foo' in expression." << "42000";
        QTest::newRow("missing operator") << "select id name from t"
                                          << "Syntax error (missing operator) in query expression 'id name'." << "42000";
        QTest::newRow("SQLite's concatenation") << "select 1 || 2"
                                                << "Syntax error (missing operator) in query expression '1 || 2'."
                                                << "42000";
        QTest::newRow("FROM") << "select id from t a b" << "Syntax error in FROM clause." << "42000";
        QTest::newRow("JOIN without ON") << "select id from t inner join u" << "Syntax error in JOIN operation."
                                         << "42000";
        QTest::newRow("ORDER without BY") << "select id from t order id" << "Syntax error in ORDER BY clause." << "42000";
        QTest::newRow("arguments") << "select Left(name) from t"
                                   << "Wrong number of arguments used with function in query expression 'Left(name)'."
                                   << "42000";
        QTest::newRow("date") << "select #2/30/2021#" << "Syntax error in date in query expression '#2/30/2021#'."
                              << "42000";
        QTest::newRow("open string") << "select 'open" << "Syntax error in string in query expression ''open'."
                                     << "42000";
        QTest::newRow("open bracket") << "select [open from t" << "Invalid bracketing of name '[open from t'." << "42000";
        QTest::newRow("TOP of a fraction") << "select top 2.5 id from t"
                                           << "The SELECT statement includes a reserved word or an argument name that "
                                              "is misspelled or missing, or the punctuation is incorrect."
                                           << "42000";
        QTest::newRow("nothing") << " -- only a comment"
                                 << "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
                                    "'UPDATE'."
                                 << "42000";
        QTest::newRow("not Access SQL") << "with x as (select 1) select * from x"
                                        << "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', "
                                           "or 'UPDATE'."
                                        << "42000";
        QTest::newRow("two statements") << "select 1; select 2" << "Characters found after end of SQL statement."
                                        << "42000";
        QTest::newRow("unknown column") << "select nosuch from t" << "Too few parameters. Expected 1." << "07002";
        QTest::newRow("alias outside ORDER BY") << "select id as k, name from t where k = 1 and t.other = k"
                                                << "Too few parameters. Expected 2." << "07002";
        QTest::newRow("deep nesting") << "select " + QString(5000, '(') + "1" + QString(5000, ')')
                                      << "Query is too complex." << "42000";
        QTest::newRow("update") << "update t set id = 2" << "Cannot update. Database or object is read-only." << "HY000";
        QTest::newRow("make-table query") << "select * into x from t" << "Cannot update. Database or object is read-only."
                                          << "HY000";
    }

    void refusedWithAccessMessages()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        QFETCH(QString, state);
        Dialect dialect;
        const accessodbc::sql::Translation translation = accessodbc::sql::translate(sql.toStdString(), dialect.db);
        QCOMPARE(QString::fromStdString(translation.error), message);
        QCOMPARE(QString::fromStdString(translation.state), state);
    }

    void unnamedExpressionsAreNamedAsAccessNamesThem()
    {
        Dialect dialect;
        QStringList names;
        dialect.run(QStringLiteral("select id, id + 1, name as n, t.price, CStr(id) from t"), &names);
        QCOMPARE(names, (QStringList{"id", "Expr1000", "n", "price", "Expr1001"}));
    }

    // Markers keep their order and count, also where TOP repeats the query.
    void parameterMarkersStayParameters()
    {
        Dialect dialect;
        const auto translation = accessodbc::sql::translate(
            "select top 1 n & ? from u where n > ? and g like ? order by n", dialect.db);
        QVERIFY2(translation.error.empty(), translation.error.c_str());
        sqlite3_stmt *stmt = nullptr;
        QCOMPARE(sqlite3_prepare_v2(dialect.db, translation.sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_bind_parameter_count(stmt), 3);
        sqlite3_bind_text(stmt, 1, "x", -1, SQLITE_STATIC);
        sqlite3_bind_int(stmt, 2, 3);
        sqlite3_bind_text(stmt, 3, "C*", -1, SQLITE_STATIC);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        QCOMPARE(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))), QStringLiteral("4x"));
        sqlite3_finalize(stmt);
    }

    // CStr of a Date/Time against the same value formatted by Qt, over generated values.
    void cstrOfDatesMatchesIndependentFormatting()
    {
        Dialect dialect;
        QRandomGenerator random(20210530);
        sqlite3_exec(dialect.db, "CREATE TABLE d (k INTEGER, v DATETIME)", nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(dialect.db, "INSERT INTO d VALUES (?, ?)", -1, &insert, nullptr);
        QStringList expected;
        for (int k = 0; k < 2000; ++k) {
            QDateTime when(QDate(1899, 12, 30), QTime(0, 0));
            const int shape = k % 4; // date and time, date alone, time alone, either in any year
            if (shape != 2)
                when.setDate(QDate(100 + int(random.bounded(9900)), 1, 1).addDays(random.bounded(365)));
            if (shape != 1)
                when.setTime(QTime(0, 0).addSecs(int(random.bounded(86400))));
            const QByteArray stored = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
            sqlite3_bind_int(insert, 1, k);
            sqlite3_bind_text(insert, 2, stored.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            expected << accessDateForm(when);
        }
        sqlite3_finalize(insert);
        QCOMPARE(dialect.run(QStringLiteral("select CStr(v) from d order by k")), expected.join(QLatin1Char(';')));
    }

    // LIKE against a regular expression built from the same pattern, over generated text.
    void likeMatchesIndependentRegex()
    {
        Dialect dialect;
        QRandomGenerator random(93);
        // Every digit, and the characters on either side of them, against #.
        const QString alphabet = QStringLiteral("abAB0123456789/:é*?");
        const QStringList pieces{"a", "b", "B", "1", "é", "*", "?", "#", "#", "[a-b]", "[!a]", "[*]", "É"};
        for (const QChar c : alphabet) {
            const QString sql = QStringLiteral("select '%1' like '#'").arg(c);
            QCOMPARE(dialect.run(sql), QString::fromLatin1(c.isDigit() ? "-1" : "0"));
        }
        for (int k = 0; k < 3000; ++k) {
            QString text, pattern;
            for (int i = int(random.bounded(6)); i > 0; --i)
                text += alphabet[int(random.bounded(alphabet.size()))];
            for (int i = int(random.bounded(5)); i > 0; --i)
                pattern += pieces[int(random.bounded(pieces.size()))];
            const QString sql = QStringLiteral("select '%1' like '%2'").arg(text, pattern);
            const QString expected = likeAsRegex(pattern).match(text).hasMatch() ? "-1" : "0";
            QVERIFY2(dialect.run(sql) == expected, qPrintable(sql));
        }
    }

    void connectionString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("dbq");
        QTest::addColumn<QString>("pwd"); // both "<error>" when the text is refused
        QTest::newRow("application form") << QStringLiteral("DRIVER={%1};FIL={MS Access};"
                                                            "DBQ=D:/data/GuardTour_DB.mdb;Uid=;Pwd=")
                                                 .arg(QLatin1String(accessdriver::jetName))
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
