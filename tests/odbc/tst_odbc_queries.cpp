// The application's three queries, sent verbatim through QODBC as the application
// sends them, and the values and types it reads back; values bound to ? markers the way
// client libraries pass them.

#include "odbcfixture.h"

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace odbcfixture;

namespace {

const char kCheckpointQuery[] =
    "select CStr(id) as pId,CheckPoint_Card,CheckPoint_Name,CheckPoint_Number,CheckPoint_Type from GT_CHECKPOINT;";
const char kRouteQuery[] =
    "SELECT CStr(line.id) AS lID, (select Line_Name from GT_LINE where id = line.Line_ID) AS Line_Name, "
    "CStr(line.Place_ID) AS lPlace_ID, CStr(line.Line_Order) AS lLine_Order, CStr(line.NextPlace_Time) AS "
    "lNextPlace_Time, CStr(line.Stay_Time) AS lStay_Time FROM GT_LINE_EXTD AS line;";
const char kPlanQuery[] =
    "select CStr(ID) AS planId,CStr(Line_ID) AS lineId,Plan_StartTime AS pStartTime,Plan_EndTime AS "
    "pEndTime,Plan_Type AS pType,CStr(Plan_Mode) AS pMode,Excute_Week AS pExcWeek,Start_Date AS "
    "pStartDate,CStr(Excute_Cycle) AS pExcCycle,CStr(Rest_Cycle) AS pRestCycle,Place_ID,CStr(Create_Time) AS "
    "pCreateTime From GT_PLAN;";

const char kSite[] = R"(
INSERT INTO GT_CHECKPOINT VALUES (3, 'A1', '北门岗亭', 12, 0);
INSERT INTO GT_CHECKPOINT VALUES (1, NULL, 'Gate 😀 "east" & 𝄞', 3, 1);
INSERT INTO GT_CHECKPOINT VALUES (7, 'C3', 'Ünïcødé', NULL, 2);
INSERT INTO GT_LINE VALUES (1, '夜班路线');
INSERT INTO GT_LINE VALUES (2, 'Day route');
INSERT INTO GT_LINE_EXTD VALUES (1, 1, 7, 1, 5, 30);
INSERT INTO GT_LINE_EXTD VALUES (2, 1, 3, 2, 6, 2);
INSERT INTO GT_LINE_EXTD VALUES (3, 99, 1, 1, 4, NULL);
INSERT INTO GT_PLAN VALUES (5, 2, '1899-12-30 08:00:00', '1899-12-30 09:30:00', 1, 2, '1111100',
                            '2021-06-06 00:00:00', 3, 2, 7, '2021-05-28 10:12:45');
INSERT INTO GT_PLAN VALUES (6, 1, '1899-12-30 22:00:00', '1899-12-30 23:00:00', 0, 0, '1111111',
                            '2021-06-07 00:00:00', 1, 0, NULL, '2021-05-29 08:00:00');
INSERT INTO GT_PLAN VALUES (8, 1, '1899-12-30 22:00:00', '1899-12-30 23:00:00', 0, 0, '1111111',
                            '2021-06-07 00:00:00', 1, 0, -4, '2021-05-29 08:00:00');
)";

QStringList warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << message;
}

} // namespace

class TestOdbcQueries : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QSqlDatabase db;

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        db = accessDatabase(QStringLiteral("GuardTour_DB"), makeDatabase(*dir, QString::fromUtf8(kSite)));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
    }

    void cleanup()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("GuardTour_DB"));
        delete dir;
    }

    // Every value as text ("NULL" for NULL): Qt renders a date-time as ISO with
    // a 'T', so text that only looks like a date shows as such.
    void applicationQueries_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("checkpoints")
            << kCheckpointQuery
            << QStringList{"pId", "CheckPoint_Card", "CheckPoint_Name", "CheckPoint_Number", "CheckPoint_Type"}
            << QStringList{"QString", "QString", "QString", "int", "int"}
            << QStringList{QString::fromUtf8("1|NULL|Gate 😀 \"east\" & 𝄞|3|1"), QString::fromUtf8("3|A1|北门岗亭|12|0"),
                           QString::fromUtf8("7|C3|Ünïcødé|NULL|2")};
        QTest::newRow("route stops, one of a missing route")
            << kRouteQuery
            << QStringList{"lID", "Line_Name", "lPlace_ID", "lLine_Order", "lNextPlace_Time", "lStay_Time"}
            << QStringList{"QString", "QString", "QString", "QString", "QString", "QString"}
            << QStringList{QString::fromUtf8("1|夜班路线|7|1|5|30"), QString::fromUtf8("2|夜班路线|3|2|6|2"),
                           "3|NULL|1|1|4|NULL"};
        QTest::newRow("plans")
            << kPlanQuery
            << QStringList{"planId", "lineId", "pStartTime", "pEndTime", "pType", "pMode", "pExcWeek", "pStartDate",
                           "pExcCycle", "pRestCycle", "Place_ID", "pCreateTime"}
            << QStringList{"QString", "QString", "QDateTime", "QDateTime", "int", "QString", "QString", "QDateTime",
                           "QString", "QString", "int", "QString"}
            << QStringList{"5|2|1899-12-30T08:00:00.000|1899-12-30T09:30:00.000|1|2|1111100|2021-06-06T00:00:00.000|"
                           "3|2|7|2021-05-28 10:12:45",
                           "6|1|1899-12-30T22:00:00.000|1899-12-30T23:00:00.000|0|0|1111111|2021-06-07T00:00:00.000|"
                           "1|0|NULL|2021-05-29 08:00:00",
                           "8|1|1899-12-30T22:00:00.000|1899-12-30T23:00:00.000|0|0|1111111|2021-06-07T00:00:00.000|"
                           "1|0|-4|2021-05-29 08:00:00"};
    }

    void applicationQueries()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, types);
        QFETCH(QStringList, rows);
        QSqlQuery query(db);
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
        QStringList names, typeNames, values;
        for (int i = 0; i < query.record().count(); ++i)
            names << query.record().fieldName(i);
        QCOMPARE(names, columns);
        while (query.next()) {
            QStringList row;
            for (const QString &name : columns) {
                const QVariant value = query.value(name);
                row << (value.isNull() ? QStringLiteral("NULL") : value.toString());
                if (values.isEmpty())
                    typeNames << QString::fromLatin1(value.typeName());
            }
            values << row.join(QLatin1Char('|'));
        }
        QCOMPARE(values, rows);
        QCOMPARE(typeNames, types);
    }

    void openQueryCloseLeavesNoWarnings()
    {
        db.close();
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        for (const char *sql : {kCheckpointQuery, kRouteQuery, kPlanQuery}) {
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QString::fromUtf8(sql)));
            while (query.next()) {
                for (int i = 0; i < query.record().count(); ++i)
                    query.value(query.record().fieldName(i)).toString();
            }
            query.clear();
            db.close();
        }
        QCOMPARE(warnings, QStringList());
    }

    // QODBC binds each value with the C and SQL types of its QVariant.
    void boundValuesSelectRows_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("int") << "select CheckPoint_Name from GT_CHECKPOINT where id = ?" << QVariantList{7}
                             << QStringList{QString::fromUtf8("Ünïcødé")};
        QTest::newRow("64-bit int") << "select id from GT_CHECKPOINT where CheckPoint_Number = ?"
                                    << QVariantList{qlonglong(12)} << QStringList{"3"};
        QTest::newRow("double") << "select id from GT_CHECKPOINT where CheckPoint_Number > ? order by id"
                                << QVariantList{3.5} << QStringList{"3"};
        QTest::newRow("text") << "select id from GT_CHECKPOINT where CheckPoint_Name = ?"
                              << QVariantList{QString::fromUtf8("Gate 😀 \"east\" & 𝄞")} << QStringList{"1"};
        QTest::newRow("text with a quote") << "select count(*) from GT_CHECKPOINT where CheckPoint_Card = ?"
                                           << QVariantList{QStringLiteral("A1' or 'x'='x")} << QStringList{"0"};
        QTest::newRow("date-time") << "select ID from GT_PLAN where Create_Time = ? order by ID"
                                   << QVariantList{QDateTime(QDate(2021, 5, 29), QTime(8, 0))}
                                   << QStringList{"6", "8"};
        QTest::newRow("date") << "select ID from GT_PLAN where Start_Date = ?" << QVariantList{QDate(2021, 6, 6)}
                              << QStringList{"5"};
        QTest::newRow("time") << "select ID from GT_PLAN where Plan_StartTime = ?" << QVariantList{QTime(8, 0)}
                              << QStringList{"5"};
        QTest::newRow("NULL") << "select IIf(IsNull(?), 'none', 'some') from GT_LINE where id = 1" << QVariantList{QVariant(QVariant::Int)}
                              << QStringList{"none"};
        QTest::newRow("several") << "select id from GT_LINE_EXTD where Line_ID = ? and Line_Order = ?"
                                 << QVariantList{1, 2} << QStringList{"2"};
    }

    void boundValuesSelectRows()
    {
        QFETCH(QString, sql);
        QFETCH(QVariantList, values);
        QFETCH(QStringList, rows);
        QSqlQuery query(db);
        QVERIFY(query.prepare(sql));
        for (const QVariant &value : values)
            query.addBindValue(value);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        QStringList found;
        while (query.next())
            found << query.value(0).toString();
        QCOMPARE(found, rows);
    }
};

QTEST_GUILESS_MAIN(TestOdbcQueries)
#include "tst_odbc_queries.moc"
