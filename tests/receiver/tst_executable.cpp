#include "samplebodies.h"

#include <QtTest>

#include <httplib.h>

#include <csignal>

// Runs the built fernwick-receiver the way a demo or a script does.
class ReceiverExecutableTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void announcesItsPortAndStoresWhatItAccepts();
    void writesThePortFile();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
    void refusesABadPortNumber();
    void statesTheKeyRuleInItsHelp();
};

namespace {

QString receiverPath()
{
    return qEnvironmentVariable("FERNWICK_RECEIVER");
}

// Starts the receiver with --port 0 in workDir and returns the port it announces, or -1.
int startOnFreePort(QProcess &process, const QString &workDir, const QStringList &extraArguments = {})
{
    process.setWorkingDirectory(workDir);
    process.start(receiverPath(), QStringList{"--port", "0"} + extraArguments);
    if (!process.waitForStarted(30000))
        return -1;
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(30000))
            return -1;
    }
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral(R"(^listening on 127\.0\.0\.1:(\d+)\n$)"))
            .match(QString::fromUtf8(process.readLine()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

bool stopAndWait(QProcess &process, int signal)
{
    ::kill(pid_t(process.processId()), signal);
    return process.waitForFinished(30000);
}

} // namespace

void ReceiverExecutableTest::initTestCase()
{
    QVERIFY2(QFileInfo(receiverPath()).isExecutable(),
             "FERNWICK_RECEIVER must name the built fernwick-receiver (ctest sets it)");
}

void ReceiverExecutableTest::announcesItsPortAndStoresWhatItAccepts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess process;
    const int port = startOnFreePort(process, dir.path(), {"--store", "bodies"});
    QVERIFY(port > 0);

    httplib::Client client("127.0.0.1", port);
    const QByteArray body = samples::planBody();
    const httplib::Result result =
        client.Post("/plan", body.constData(), std::size_t(body.size()), "application/x-www-form-urlencoded");

    QVERIFY(result);
    QCOMPARE(result->status, 200);
    const QStringList stored = QDir(dir.filePath("bodies")).entryList(QDir::Files);
    QCOMPARE(stored.size(), 1);
    QFile file(QDir(dir.filePath("bodies")).filePath(stored.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), body);
    QVERIFY(stopAndWait(process, SIGTERM));
}

void ReceiverExecutableTest::writesThePortFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess process;
    const int port = startOnFreePort(process, dir.path(), {"--port-file", "port.txt"});
    QVERIFY(port > 0);

    QFile portFile(dir.filePath("port.txt"));
    QVERIFY(portFile.open(QIODevice::ReadOnly));
    QCOMPARE(portFile.readAll().trimmed().toInt(), port);
    QVERIFY(stopAndWait(process, SIGTERM));
}

void ReceiverExecutableTest::stopsCleanlyOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void ReceiverExecutableTest::stopsCleanlyOnSignal()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess process;
    const int port = startOnFreePort(process, dir.path());
    QVERIFY(port > 0);

    QVERIFY(stopAndWait(process, signal));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    httplib::Client client("127.0.0.1", port);
    QVERIFY(!client.Post("/point", "key=[]", "text/plain"));
}

void ReceiverExecutableTest::refusesABadPortNumber()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess process;
    process.setWorkingDirectory(dir.path());

    process.start(receiverPath(), {"--port", "70000"});

    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("--port"));
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

void ReceiverExecutableTest::statesTheKeyRuleInItsHelp()
{
    QProcess process;
    process.start(receiverPath(), {"--help"});

    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray help = process.readAllStandardOutput();
    QVERIFY(help.contains("exactly its kind's keys, no more and no fewer"));
    QVERIFY(help.contains("/point: pId, ptCard, ptName, ptNum, ptType"));
    QVERIFY(help.contains("--port-file"));
}

QTEST_GUILESS_MAIN(ReceiverExecutableTest)
#include "tst_executable.moc"
