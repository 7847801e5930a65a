#include "support/site.h"

#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {
const char *oneOfEachKind = R"sql(
insert into GT_CHECKPOINT (id, CheckPoint_Card, CheckPoint_Name, CheckPoint_Number, CheckPoint_Type) values
  (1, 'A3', '东门岗亭', 12, 0);
insert into GT_LINE (id, Line_Name) values (1, '外围巡逻');
insert into GT_LINE_EXTD (id, Line_ID, Place_ID, Line_Order, NextPlace_Time, Stay_Time) values (10, 1, 1, 1, 5, 30);
insert into GT_PLAN (ID, Line_ID, Plan_StartTime, Plan_EndTime, Plan_Type, Plan_Mode, Excute_Week, Start_Date,
                     Excute_Cycle, Rest_Cycle, Place_ID, Create_Time) values
  (5, 1, '08:00:00', '18:00:00', 1, 0, '1111100', '2021-06-01', 1, 2, 1, '2021-05-30 09:15:00');
)sql";

const QStringList kinds = {QStringLiteral("Point"), QStringLiteral("Line"), QStringLiteral("Plan")};

// The one file of the day whose name starts with `prefix`, as the program dates it.
QByteArray dailyFile(const WorkingDir &wd, const QString &prefix)
{
    const QDir log(wd.file(QStringLiteral("log")));
    const QStringList names = log.entryList({prefix + QStringLiteral("-*.txt")});
    return names.size() == 1 ? readAll(log.filePath(names.first())) : QByteArray("<no single file>");
}

bool startProgram(QProcess *fernwick, const WorkingDir &wd)
{
    const QString exe = qEnvironmentVariable("FERNWICK_EXE");
    if (!QFileInfo::exists(exe)) {
        qWarning("FERNWICK_EXE names no executable");
        return false;
    }
    fernwick->setWorkingDirectory(wd.path());
    fernwick->start(exe, QStringList());
    return fernwick->waitForStarted();
}

// The program, running on a site, has posted all three kinds; the server holds the answers.
struct PostsHeld
{
    bool start()
    {
        site.server.holdReplies();
        return site.make(QString::fromUtf8(oneOfEachKind)) && startProgram(&fernwick, site.wd)
            && QTest::qWaitFor([this] { return site.server.requestCount() == 3; }, 30000);
    }
    void signal(int signalNumber) { ::kill(pid_t(fernwick.processId()), signalNumber); }
    Site site;
    QProcess fernwick;
};

const QByteArray waitingLine = "exit: posts in flight: 3; waiting up to 10 s for their answers";
}

// The real executable, ended by a signal as a service manager or Ctrl+C would end it.
class ShutdownTest : public QObject
{
    Q_OBJECT
private slots:
    void answersComingDuringTheGraceAreRecorded_data();
    void answersComingDuringTheGraceAreRecorded();
    void saysWhatCouldNotBeWrittenAtExit();
};

void ShutdownTest::answersComingDuringTheGraceAreRecorded_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP (the terminal closed)") << int(SIGHUP);
    QTest::newRow("SIGQUIT") << int(SIGQUIT);
}

// A slow server: its answers come after the signal, while the program waits for them.
void ShutdownTest::answersComingDuringTheGraceAreRecorded()
{
    QFETCH(int, signalNumber);
    PostsHeld run;
    QVERIFY(run.start());
    run.signal(signalNumber);
    QTRY_VERIFY_WITH_TIMEOUT(dailyFile(run.site.wd, QStringLiteral("fernwicklog")).contains(waitingLine), 10000);
    run.site.server.releaseReplies();
    QVERIFY(run.fernwick.waitForFinished(30000));
    QCOMPARE(run.fernwick.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.fernwick.exitCode(), 0);
    for (const QString &kind : kinds)
        QCOMPARE(dailyFile(run.site.wd, QStringLiteral("response%1Data").arg(kind)), QByteArray("ok\n"));
}

void ShutdownTest::saysWhatCouldNotBeWrittenAtExit()
{
    WorkingDir wd;
    {
        QFile notAFolder(wd.file(QStringLiteral("log")));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
    }
    QProcess fernwick;
    QVERIFY(startProgram(&fernwick, wd));
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
