// The application's three queries, sent verbatim through QODBC as the application
// sends them, and the values and types it reads back.

#include "odbcfixture.h"

#include <QDateTime>
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

struct WarningCatcher {
    static QStringList &messages()
    {
        static QStringList list;
        return list;
    }
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            messages().append(message);
    }
    WarningCatcher()
    {
        messages().clear();
        previous = qInstallMessageHandler(handler);
    }
    ~WarningCatcher() { qInstallMessageHandler(previous); }
    QtMessageHandler previous;
};

QStringList columnNames(const QSqlQuery &query)
{
    QStringList names;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    return names;
}

} // namespace

class TestOdbcQueries : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QSqlDatabase db;

    QSqlQuery run(const char *sql)
    {
        QSqlQuery query(db);
        if (!query.exec(QString::fromUtf8(sql)))
            qWarning("query failed: %s", qPrintable(query.lastError().text()));
        return query;
    }

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

    void checkpointQueryGivesNamedColumnsInTableOrder()
    {
        QSqlQuery query = run(kCheckpointQuery);
        QVERIFY(query.isActive());
        QCOMPARE(columnNames(query), (QStringList{"pId", "CheckPoint_Card", "CheckPoint_Name", "CheckPoint_Number",
                                                  "CheckPoint_Type"}));
        QStringList ids;
        while (query.next())
            ids << query.value("pId").toString();
        QCOMPARE(ids, (QStringList{"1", "3", "7"}));
    }

    void checkpointValuesKeepTheirTypes()
    {
        QSqlQuery query = run(kCheckpointQuery);
        QVERIFY(query.next());
        QVERIFY(query.next());
        QCOMPARE(query.value("pId").type(), QVariant::String);
        QCOMPARE(query.value("CheckPoint_Card").toString(), QStringLiteral("A1"));
        QCOMPARE(query.value("CheckPoint_Number").type(), QVariant::Int);
        QCOMPARE(query.value("CheckPoint_Number").toInt(), 12);
        QCOMPARE(query.value("CheckPoint_Type").toString(), QStringLiteral("0"));
    }

    void nullsArriveAsNull()
    {
        QSqlQuery query = run(kCheckpointQuery);
        QVERIFY(query.next());
        QVERIFY(query.value("CheckPoint_Card").isNull());
        QCOMPARE(query.value("CheckPoint_Card").toString(), QString());
        QVERIFY(query.seek(2));
        QVERIFY(query.value("CheckPoint_Number").isNull());
    }

    void nonAsciiAndEmojiSurviveTheWidePath()
    {
        QSqlQuery query = run(kCheckpointQuery);
        QStringList names;
        while (query.next())
            names << query.value("CheckPoint_Name").toString();
        QCOMPARE(names, (QStringList{QString::fromUtf8("Gate 😀 \"east\" & 𝄞"), QString::fromUtf8("北门岗亭"),
                                     QString::fromUtf8("Ünïcødé")}));
    }

    void routeNameComesFromTheCorrelatedSubquery()
    {
        QSqlQuery query = run(kRouteQuery);
        QCOMPARE(columnNames(query), (QStringList{"lID", "Line_Name", "lPlace_ID", "lLine_Order", "lNextPlace_Time",
                                                  "lStay_Time"}));
        QVERIFY(query.next());
        QCOMPARE(query.value("lID").toString(), QStringLiteral("1"));
        QCOMPARE(query.value("Line_Name").toString(), QString::fromUtf8("夜班路线"));
        QCOMPARE(query.value("lPlace_ID").toString(), QStringLiteral("7"));
        QCOMPARE(query.value("lLine_Order").toString(), QStringLiteral("1"));
        QCOMPARE(query.value("lNextPlace_Time").toString(), QStringLiteral("5"));
        QCOMPARE(query.value("lStay_Time").toString(), QStringLiteral("30"));
        QVERIFY(query.next());
        QCOMPARE(query.value("Line_Name").toString(), QString::fromUtf8("夜班路线"));
    }

    void stopOfAMissingRouteHasNullRouteName()
    {
        QSqlQuery query = run(kRouteQuery);
        QVERIFY(query.seek(2));
        QCOMPARE(query.value("lID").toString(), QStringLiteral("3"));
        QVERIFY(query.value("Line_Name").isNull());
        QVERIFY(query.value("lStay_Time").isNull());
        QVERIFY(!query.next());
    }

    void planQueryGivesTextNumbersAndDateTimes()
    {
        QSqlQuery query = run(kPlanQuery);
        QCOMPARE(columnNames(query).size(), 12);
        QVERIFY(query.next());
        QCOMPARE(query.value("planId").toString(), QStringLiteral("5"));
        QCOMPARE(query.value("lineId").toString(), QStringLiteral("2"));
        QCOMPARE(query.value("pStartTime").type(), QVariant::DateTime);
        QCOMPARE(query.value("pStartTime").toDateTime(), QDateTime(QDate(1899, 12, 30), QTime(8, 0)));
        QCOMPARE(query.value("pEndTime").toDateTime().time(), QTime(9, 30));
        QCOMPARE(query.value("pType").toString(), QStringLiteral("1"));
        QCOMPARE(query.value("pMode").toString(), QStringLiteral("2"));
        QCOMPARE(query.value("pExcWeek").toString(), QStringLiteral("1111100"));
        QCOMPARE(query.value("pStartDate").toDateTime(), QDateTime(QDate(2021, 6, 6), QTime(0, 0)));
        QCOMPARE(query.value("pExcCycle").toString(), QStringLiteral("3"));
        QCOMPARE(query.value("pRestCycle").toString(), QStringLiteral("2"));
        QCOMPARE(query.value("Place_ID").type(), QVariant::Int);
        QCOMPARE(query.value("Place_ID").toInt(), 7);
        QCOMPARE(query.value("pCreateTime").toString(), QStringLiteral("2021-05-28 10:12:45"));
    }

    void planPlaceReadsAsInteger()
    {
        QSqlQuery query = run(kPlanQuery);
        QList<int> places;
        while (query.next())
            places << query.value("Place_ID").toInt();
        QCOMPARE(places, (QList<int>{7, 0, -4}));
    }

    void cstrGivesAccessTextForms()
    {
        QSqlQuery query = run("select CStr(12) as i, CStr(2.50) as d, CStr(1.0/3) as third, CStr(-7.0) as whole, "
                              "CStr(Create_Time) as t, CStr('2021-06-06T08:05') as iso, CStr(NULL) as n, "
                              "CStr(Plan_StartTime) as tod From GT_PLAN where ID = 5;");
        QVERIFY(query.next());
        QCOMPARE(query.value("i").toString(), QStringLiteral("12"));
        QCOMPARE(query.value("d").toString(), QStringLiteral("2.5"));
        QCOMPARE(query.value("third").toString(), QStringLiteral("0.333333333333333"));
        QCOMPARE(query.value("whole").toString(), QStringLiteral("-7"));
        QCOMPARE(query.value("t").toString(), QStringLiteral("2021-05-28 10:12:45"));
        QCOMPARE(query.value("iso").toString(), QStringLiteral("2021-06-06 08:05:00"));
        QCOMPARE(query.value("tod").toString(), QStringLiteral("1899-12-30 08:00:00"));
        QVERIFY(query.value("n").isNull());
    }

    void identifiersIgnoreCase()
    {
        QSqlQuery query = run("SELECT checkpoint_name AS N FROM gt_checkpoint WHERE ID = 3");
        QVERIFY(query.next());
        QCOMPARE(query.value("N").toString(), QString::fromUtf8("北门岗亭"));
    }

    void longTextArrivesWhole()
    {
        const QString longName = QString::fromUtf8("长").repeated(30000) + QStringLiteral("x").repeated(40000)
                               + QString::fromUtf8("😀");
        const QString path = makeDatabase(*dir, QStringLiteral("INSERT INTO GT_CHECKPOINT VALUES (1, 'L', '%1', 1, 1);")
                                                    .arg(longName), QString(), QStringLiteral("long.mdb"));
        QSqlDatabase longDb = accessDatabase(QStringLiteral("long"), path);
        QVERIFY(longDb.open());
        {
            QSqlQuery query(longDb);
            QVERIFY(query.exec(QString::fromUtf8(kCheckpointQuery)));
            QVERIFY(query.next());
            QCOMPARE(query.value("CheckPoint_Name").toString().size(), longName.size());
            QCOMPARE(query.value("CheckPoint_Name").toString(), longName);
        }
        longDb.close();
        longDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("long"));
    }

    void openQueryCloseLeavesNoWarnings()
    {
        db.close();
        WarningCatcher catcher;
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
        QCOMPARE(WarningCatcher::messages(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestOdbcQueries)
#include "tst_odbc_queries.moc"
