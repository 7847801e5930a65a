#include "samplebodies.h"

#include <QtTest>

#include <httplib.h>

#include <csignal>

// Runs the built fernwick-receiver the way a demo or a script does.
class ReceiverExecutableTest : public QObject
{
    Q_OBJECT

private slots:
    void servesUntilSignalled_data();
    void servesUntilSignalled();
    void commandLine_data();
    void commandLine();
};

namespace {

// ctest names the built receiver in FERNWICK_RECEIVER.
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

} // namespace

void ReceiverExecutableTest::servesUntilSignalled_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// Announces its port on stdout and in the port file, stores what it accepts where
// --store says, and on the signal exits with 0, no longer listening.
void ReceiverExecutableTest::servesUntilSignalled()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess process;
    const int port = startOnFreePort(process, dir.path(), {"--store", "bodies", "--port-file", "port.txt"});
    QVERIFY(port > 0);
    QFile portFile(dir.filePath("port.txt"));
    QVERIFY(portFile.open(QIODevice::ReadOnly));
    QCOMPARE(portFile.readAll().trimmed().toInt(), port);

    httplib::Client client("127.0.0.1", port);
    const QByteArray body = samples::planBody();
    const httplib::Result result =
        client.Post("/plan", body.constData(), std::size_t(body.size()), "application/x-www-form-urlencoded");
    QVERIFY(result);
    QCOMPARE(result->status, 200);
    const QDir bodies(dir.filePath("bodies"));
    const QStringList stored = bodies.entryList(QDir::Files);
    QCOMPARE(stored.size(), 1);
    QFile file(bodies.filePath(stored.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), body);

    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!httplib::Client("127.0.0.1", port).Post("/point", "key=[]", "text/plain"));
}

void ReceiverExecutableTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out"); // empty: nothing on stdout
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("bad port") << QStringList{"--port", "70000"} << 2 << QByteArray() << QByteArray("--port");
    QTest::newRow("unknown option") << QStringList{"--prot", "8080"} << 2 << QByteArray() << QByteArray("prot");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("/point: pId, ptCard, ptName, ptNum, ptType")
                          << QByteArray();
}

void ReceiverExecutableTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(receiverPath(), arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), exitCode);
    const QByteArray stdOut = process.readAllStandardOutput();
    QVERIFY(out.isEmpty() ? stdOut.isEmpty() : stdOut.contains(out));
    QVERIFY(process.readAllStandardError().contains(err));
}

QTEST_GUILESS_MAIN(ReceiverExecutableTest)
#include "tst_executable.moc"
