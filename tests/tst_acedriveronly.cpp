// Runs with a driver list that knows the Access driver only by the name the 64-bit
// database engine registers, as on a 64-bit Windows.
#include "app/mainwindow.h"
#include "fernwick_driver_names.h"
#include "gtdb.h"
#include "support/localfile.h"
#include "support/testserver.h"
#include "support/testsupport.h"

#include <QPlainTextEdit>
#include <QSettings>
#include <QSqlDatabase>
#include <QtTest>

namespace {
const QDateTime testNoon(QDate(2021, 6, 6), QTime(12, 0, 0));
const QString driverLine = QStringLiteral("AccessDB driver: ") + QLatin1String(accessdriver::aceName);
}

class AceDriverOnlyTest : public QObject
{
    Q_OBJECT
private slots:
    void syncOpensUnderTheOtherNameAndSaysSo();
};

void AceDriverOnlyTest::syncOpensUnderTheOtherNameAndSaysSo()
{
    WorkingDir wd;
    ClockAt clock(testNoon);
    TestServer server;
    {
        QSettings settings(QStringLiteral("sys.ini"), QSettings::IniFormat);
        for (const char *kind : {"POINT", "LINE", "PLAN"})
            settings.setValue(QString::fromLatin1(kind) + QStringLiteral("_HTTPURL"),
                              server.url(QLatin1Char('/') + QString::fromLatin1(kind).toLower()));
    }
    const QString site = wd.file(QStringLiteral("GuardTour_DB.mdb"));
    QVERIFY(gtdb::generateGuardTourDb(site, 4));
    {
        LocalFile file;
        QVERIFY(file.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)")));
        QVERIFY(file.exec(QStringLiteral("insert into orva_fernwick_config values (?, '')"), {site}));
    }

    QString pane;
    {
        MainWindow window;
        pane = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"))->toPlainText();
        QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), 3, 10000);
        window.syncData();
        QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), 6, 10000);
    }
    for (const TestServer::Request &request : server.requests())
        QVERIFY2(request.body.startsWith("key=[{"), request.body.left(200).constData());

    // The first open of each run tries the usual name; the other one then serves the run.
    const QString log = QString::fromUtf8(readAll(QStringLiteral("log/fernwicklog-20210606.txt")));
    QCOMPARE(log.count(driverLine), 2);
    QCOMPARE(log.count(QStringLiteral("AccessDB open success")), 6);
    QCOMPARE(log.count(QStringLiteral("AccessDB open failed")), 0);
    QCOMPARE(pane.count(driverLine), 1);
    QVERIFY(pane.indexOf(driverLine) < pane.indexOf(QStringLiteral("AccessDB open success")));
    QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db"));
    QSqlDatabase::removeDatabase(QStringLiteral("GuardTour_DB"));
}

QTEST_MAIN(AceDriverOnlyTest)
#include "tst_acedriveronly.moc"
