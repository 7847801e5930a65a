// Runs with a driver list that knows the Access driver only by the name the 64-bit
// database engine registers, as on a 64-bit Windows.
#include "app/mainwindow.h"
#include "fernwick_driver_names.h"
#include "support/site.h"

#include <QPlainTextEdit>
#include <QSqlDatabase>
#include <QtTest>

namespace {
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
    Site site;
    QVERIFY(site.generate(4));

    QString pane;
    {
        MainWindow window;
        pane = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"))->toPlainText();
        QTRY_COMPARE_WITH_TIMEOUT(site.server.requestCount(), 3, 10000);
        window.syncData();
        QTRY_COMPARE_WITH_TIMEOUT(site.server.requestCount(), 6, 10000);
    }
    for (const TestServer::Request &request : site.server.requests())
        QVERIFY2(request.body.startsWith("key=[{"), request.body.left(200).constData());

    // The first open of each run tries the usual name; the other one then serves the run.
    const QString log = QString::fromUtf8(readAll(Site::logFile()));
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
