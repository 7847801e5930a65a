#include "logging/logthread.h"
#include "support/testsupport.h"

#include <QtTest>

namespace {
const QDateTime noonOfTestDay(QDate(2021, 6, 6), QTime(12, 0, 0));
const QString dayFile = QStringLiteral("log/fernwicklog-20210606.txt");

QStringList linesOf(const QString &path)
{
    QStringList lines = QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
}

class LogWriterTest : public QObject
{
    Q_OBJECT
private slots:
    void keepsOrderUnderABurst();
    void storesNonAsciiAsUtf8();
    void createsNoFileWhenNothingWasLogged();
    void waitsUntilTheFileCanBeOpened();
    void writesWhatWasQueuedJustBeforeStop();
    void stopBeforeTheThreadRunsStillEndsIt();
};

void LogWriterTest::keepsOrderUnderABurst()
{
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    LogThread writer(nullptr);
    QStringList expected;
    writer.start();
    for (int i = 0; i < 300; ++i) {
        expected << QStringLiteral("line %1").arg(i);
        writer.appendLog(expected.last());
        if (i % 50 == 0)
            QThread::msleep(15);
    }
    writer.stop();
    QVERIFY(writer.wait(10000));
    QCOMPARE(linesOf(dayFile), expected);
}

void LogWriterTest::storesNonAsciiAsUtf8()
{
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    LogThread writer(nullptr);
    writer.start();
    writer.appendLog(QStringLiteral("\r[ 2021-06-06 12:00:00 ] 东门岗亭 Müller 🚓"));
    writer.stop();
    QVERIFY(writer.wait(10000));
    QCOMPARE(readAll(dayFile), QByteArray("\r[ 2021-06-06 12:00:00 ] \xe4\xb8\x9c\xe9\x97\xa8\xe5\xb2\x97\xe4\xba\xad"
                                          " M\xc3\xbcller \xf0\x9f\x9a\x93\n"));
}

void LogWriterTest::createsNoFileWhenNothingWasLogged()
{
    WorkingDir wd;
    LogThread writer(nullptr);
    QVERIFY(QDir(QStringLiteral("log")).exists());
    writer.start();
    QTest::qWait(250);
    writer.stop();
    QVERIFY(writer.wait(10000));
    QVERIFY(QDir(QStringLiteral("log")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void LogWriterTest::waitsUntilTheFileCanBeOpened()
{
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    LogThread writer(nullptr);
    // A directory in the file's place makes every open fail.
    QVERIFY(QDir().mkpath(dayFile));
    writer.start();
    writer.appendLog(QStringLiteral("first"));
    writer.appendLog(QStringLiteral("second"));
    QTest::qWait(350);
    writer.appendLog(QStringLiteral("third"));
    QVERIFY(QDir().rmdir(dayFile));
    QTRY_COMPARE_WITH_TIMEOUT(linesOf(dayFile), (QStringList{"first", "second", "third"}), 5000);
    writer.stop();
    QVERIFY(writer.wait(10000));
}

void LogWriterTest::writesWhatWasQueuedJustBeforeStop()
{
    // A stop in the middle of a long paced pass (3,000 lines at 10 ms each) must neither
    // wait for the pace nor drop what is still queued.
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    LogThread writer(nullptr);
    writer.start();
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        expected << QStringLiteral("row %1").arg(i);
        writer.appendLog(expected.last());
    }
    QTest::qWait(150);
    writer.appendLog(QStringLiteral("queued just before stop"));
    expected << QStringLiteral("queued just before stop");
    writer.stop();
    QVERIFY(writer.wait(10000));
    QCOMPARE(linesOf(dayFile), expected);
}

void LogWriterTest::stopBeforeTheThreadRunsStillEndsIt()
{
    WorkingDir wd;
    for (int i = 0; i < 20; ++i) {
        LogThread writer(nullptr);
        writer.start();
        writer.stop();
        QVERIFY(writer.wait(5000));
    }
}

QTEST_GUILESS_MAIN(LogWriterTest)
#include "tst_logwriter.moc"
