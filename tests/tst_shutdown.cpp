#include "support/testsupport.h"

#include <QProcess>
#include <QtTest>

#include <csignal>

// The real executable, ended by a signal as a service manager or Ctrl+C would end it.
class ShutdownTest : public QObject
{
    Q_OBJECT
private slots:
    void signalEndsTheProgramCleanly_data();
    void signalEndsTheProgramCleanly();
    void saysWhatCouldNotBeWrittenAtExit();
};

void ShutdownTest::signalEndsTheProgramCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void ShutdownTest::signalEndsTheProgramCleanly()
{
    QFETCH(int, signalNumber);
    const QString exe = qEnvironmentVariable("FERNWICK_EXE");
    QVERIFY2(QFileInfo::exists(exe), "FERNWICK_EXE names no executable");
    WorkingDir wd;
    QProcess fernwick;
    fernwick.setWorkingDirectory(wd.path());
    fernwick.start(exe, QStringList());
    QVERIFY(fernwick.waitForStarted());
    // The window's constructor creates "log"; by then the signal handlers are in place.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(wd.file(QStringLiteral("log"))).exists(), 10000);
    ::kill(pid_t(fernwick.processId()), signalNumber);
    QVERIFY(fernwick.waitForFinished(10000));
    QCOMPARE(fernwick.exitStatus(), QProcess::NormalExit);
    QCOMPARE(fernwick.exitCode(), 0);

    const QStringList logs = QDir(wd.file(QStringLiteral("log"))).entryList({"fernwicklog-*.txt"});
    QCOMPARE(logs.size(), 1);
    const QString log = QString::fromUtf8(readAll(wd.file(QStringLiteral("log/") + logs.first())));
    QVERIFY2(QRegularExpression(QStringLiteral("^") + stampedPattern(QStringLiteral("****** start ******")) + "\\n")
                 .match(log)
                 .hasMatch(),
             qPrintable(log));
}

void ShutdownTest::saysWhatCouldNotBeWrittenAtExit()
{
    const QString exe = qEnvironmentVariable("FERNWICK_EXE");
    QVERIFY2(QFileInfo::exists(exe), "FERNWICK_EXE names no executable");
    WorkingDir wd;
    {
        QFile notAFolder(wd.file(QStringLiteral("log")));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
    }
    QProcess fernwick;
    fernwick.setWorkingDirectory(wd.path());
    fernwick.start(exe, QStringList());
    QVERIFY(fernwick.waitForStarted());
    QByteArray stderrText;
    const auto said = [&](const QString &pattern) {
        stderrText += fernwick.readAllStandardError();
        return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(QString::fromUtf8(stderrText));
    };
    const QString logCannotBeWritten = QStringLiteral("^log/fernwicklog-\\d{8}\\.txt cannot be written ");
    QTRY_VERIFY_WITH_TIMEOUT(said(logCannotBeWritten).hasMatch(), 10000);
    ::kill(pid_t(fernwick.processId()), SIGTERM);
    QVERIFY(fernwick.waitForFinished(10000));
    QCOMPARE(fernwick.exitStatus(), QProcess::NormalExit);
    const QRegularExpressionMatch count = said(QStringLiteral("^(\\d+) log and response lines could not be written$"));
    QVERIFY2(count.hasMatch(), stderrText.constData());
    QVERIFY2(count.captured(1).toInt() > 0, stderrText.constData());
    QVERIFY(QFileInfo(wd.file(QStringLiteral("log"))).isFile());
}

QTEST_GUILESS_MAIN(ShutdownTest)
#include "tst_shutdown.moc"
