// The real executable run unattended, as a timer or cron runs it: no display, one sync,
// one line per kind on stdout and an exit status that tells whether everything went.
#include "support/certificates.h"
#include "support/diskfaults.h"
#include "support/localfile.h"
#include "support/programrun.h"
#include "support/site.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/inotify.h>
#include <unistd.h>

namespace {
const QStringList kinds = {QStringLiteral("point"), QStringLiteral("line"), QStringLiteral("plan")};
constexpr int rowsPerKind = 3;

QString executable()
{
    return qEnvironmentVariable("FERNWICK_EXE");
}

enum class Waits { Real, ShortIdleLimit, ShortExitGrace };

// A wait for answers that never come may be shortened to 50 ms; the program's texts still
// name its real seconds.
void start(QProcess *process, const QString &directory, const QStringList &arguments, Waits waits = Waits::Real)
{
    QProcessEnvironment environment = unattendedEnvironment();
    if (waits == Waits::ShortIdleLimit)
        environment.insert(QStringLiteral("FERNWICK_IDLE_LIMIT_MS"), QStringLiteral("50"));
    if (waits == Waits::ShortExitGrace)
        environment.insert(QStringLiteral("FERNWICK_EXIT_GRACE_MS"), QStringLiteral("50"));
    process->setWorkingDirectory(directory);
    process->setProcessEnvironment(environment);
    process->start(executable(), arguments);
}

Run runIn(const QString &directory, const QStringList &arguments, Waits waits = Waits::Real)
{
    QProcess process;
    start(&process, directory, arguments, waits);
    return finished(process);
}

QStringList linesFor(const QString &outcome)
{
    QStringList lines;
    for (const QString &kind : kinds)
        lines << kind + QStringLiteral(": ") + outcome;
    return lines;
}

// A port on 127.0.0.1 that was free a moment ago and that nobody listens on now.
quint16 closedPort()
{
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost, 0);
    return listener.serverPort();
}

// The shared site, with a few generated rows of each kind.
struct GeneratedSite : Site
{
    bool made = generate(rowsPerKind);
};

// Counts how often a file is opened, by anyone, while the object lives.
class OpenCounter
{
public:
    explicit OpenCounter(const QString &path)
        : watch(::inotify_init1(IN_NONBLOCK))
    {
        // The closes are watched too: the system merges an event into an unread one just like it.
        watching = watch >= 0
            && ::inotify_add_watch(watch, QFile::encodeName(path).constData(), IN_OPEN | IN_CLOSE) >= 0;
    }
    ~OpenCounter() { ::close(watch); }
    int opens() const
    {
        int count = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(events + at);
                count += (event->mask & IN_OPEN) != 0;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return count;
    }
    bool watching = false;

private:
    int watch;
};
}

class OnceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void exitStatusAndLinesTellHowTheSyncWent_data();
    void exitStatusAndLinesTellHowTheSyncWent();
    void terminationWhileWaitingCountsAsFailed();
    void runsAtOnceKeepEveryLine();
    void usageErrorsRunNoSync_data();
    void usageErrorsRunNoSync();
    void withoutDisplay_data();
    void withoutDisplay();
    void helpAndVersion_data();
    void helpAndVersion();

private:
    QTemporaryDir certificateDir;
    TestCertificates certificates;
};

void OnceTest::initTestCase()
{
    QVERIFY2(QFileInfo::exists(executable()), "FERNWICK_EXE names no executable");
    QVERIFY2(certificates.make(certificateDir.path()), qPrintable(certificates.error()));
}

void OnceTest::exitStatusAndLinesTellHowTheSyncWent_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("every kind answered") << "" << 0 << linesFor("3 rows posted, answered");
    QTest::newRow("nobody listening") << "no server" << 1 << linesFor("3 rows read, not posted: Connection refused");
    QTest::newRow("database missing") << "no database" << 1 << linesFor("skipped, read failed: ");
    QTest::newRow("redirected") << "redirect" << 1 << linesFor("3 rows posted, failed: HTTP 302 Found from ");
    QTest::newRow("server silent past the post timeout") << "silent" << 1
                                                         << linesFor("3 rows posted, failed: No answer from ");
    QTest::newRow("no URL for plans") << "no plan url" << 1
                                      << QStringList{"point: 3 rows posted, answered", "line: 3 rows posted, answered",
                                                     "plan: 3 rows read, not posted: Protocol \"\" is unknown"};
    QTest::newRow("plan table missing") << "no plans" << 1
                                        << QStringList{"point: 3 rows posted, answered", "line: 3 rows posted, answered",
                                                       "plan: skipped, read failed: "};
    QTest::newRow("checkpoint snapshot table damaged")
        << "damaged snapshot" << 1
        << linesFor("3 rows posted, answered")
               + QStringList{"point: snapshot not saved: table orva_point_data has no column named pId"};
    QTest::newRow("log never writable") << "log is a file" << 1
                                        << linesFor("3 rows posted, answered") + QStringList{"log: "};
    // What was refused before it left is said to be unposted.
    QTest::newRow("plan URL cut at an unquoted semicolon")
        << "cut plan url" << 1
        << QStringList{"point: 3 rows posted, answered", "line: 3 rows posted, answered",
                       "plan: 3 rows read, not posted: PLAN_HTTPURL in sys.ini has an unquoted \";\""};
    QTest::newRow("sys.ini saved as UTF-16")
        << "utf16 sys.ini" << 1
        << linesFor("3 rows read, not posted: sys.ini is saved as UTF-16 little-endian (Notepad's \"Unicode\")");
    QTest::newRow("CA file missing") << "no CA file" << 1
                                     << linesFor("3 rows read, not posted: CA_CERTIFICATES in sys.ini names \"");
    QTest::newRow("old daily file cannot be removed")
        << "undeletable old log" << 1
        << linesFor("3 rows posted, answered")
               + QStringList{"log: could not remove old daily files (LOG_KEEP_DAYS): fernwicklog-20000101.txt ("};
    // A site's CA file can be large: a sync reads it once for its three posts.
    QTest::newRow("https with the site's CA") << "https" << 0 << linesFor("3 rows posted, answered");
}

void OnceTest::exitStatusAndLinesTellHowTheSyncWent()
{
    QFETCH(QString, trouble);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    GeneratedSite site;
    QVERIFY(site.made);
    if (trouble == QLatin1String("no server"))
        site.postTo(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
    if (trouble == QLatin1String("no database"))
        QVERIFY(QFile::remove(site.wd.file(QStringLiteral("GuardTour_DB.mdb"))));
    if (trouble == QLatin1String("redirect"))
        site.server.answerWith(302, "moved", site.server.url(QStringLiteral("/elsewhere")));
    if (trouble == QLatin1String("silent")) {
        site.server.holdReplies();
        QSettings(site.wd.file(QStringLiteral("sys.ini")), QSettings::IniFormat)
            .setValue(QStringLiteral("HTTP_TIMEOUT_SECONDS"), 1);
    }
    if (trouble == QLatin1String("no plan url"))
        QSettings(site.wd.file(QStringLiteral("sys.ini")), QSettings::IniFormat).remove(QStringLiteral("PLAN_HTTPURL"));
    if (trouble == QLatin1String("no plans"))
        QVERIFY(dropTable(site.wd.file(QStringLiteral("GuardTour_DB.mdb")), QStringLiteral("GT_PLAN")));
    if (trouble == QLatin1String("damaged snapshot"))
        QVERIFY(LocalFile().exec(QStringLiteral("create table orva_point_data (a text)")));
    if (trouble == QLatin1String("log is a file"))
        QVERIFY(QFile(site.wd.file(QStringLiteral("log"))).open(QIODevice::WriteOnly));
    QSettings sysIni(site.wd.file(QStringLiteral("sys.ini")), QSettings::IniFormat);
    // The last line for a key is the one that counts.
    if (trouble == QLatin1String("cut plan url")) {
        QFile file(site.wd.file(QStringLiteral("sys.ini")));
        QVERIFY(file.open(QIODevice::Append)
                && file.write("PLAN_HTTPURL=" + site.server.url(QStringLiteral("/plan?a=b;c=d")).toUtf8()) > 0);
    }
    if (trouble == QLatin1String("no CA file"))
        sysIni.setValue(QStringLiteral("CA_CERTIFICATES"), QStringLiteral("missing.pem"));
    std::unique_ptr<UndeletableFile> oldLog;
    if (trouble == QLatin1String("undeletable old log")) {
        sysIni.setValue(QStringLiteral("LOG_KEEP_DAYS"), 30);
        QVERIFY(QDir(site.wd.path()).mkdir(QStringLiteral("log")));
        oldLog.reset(new UndeletableFile(site.wd.file(QStringLiteral("log/fernwicklog-20000101.txt"))));
        if (!oldLog->held)
            QSKIP("this user or file system cannot make a file undeletable");
    }
    std::unique_ptr<TestServer> https;
    std::unique_ptr<OpenCounter> siteCa;
    if (trouble == QLatin1String("https")) {
        https.reset(new TestServer(certificates.forLocalAddress.certificate, certificates.forLocalAddress.key));
        site.postTo(https->url(QString()));
        siteCa.reset(new OpenCounter(certificates.authority));
        QVERIFY(siteCa->watching);
        sysIni.setValue(QStringLiteral("CA_CERTIFICATES"), certificates.authority);
    }
    sysIni.sync();
    if (trouble == QLatin1String("utf16 sys.ini"))
        QVERIFY(saveAsUtf16(site.wd.file(QStringLiteral("sys.ini"))));

    const Waits waits = trouble == QLatin1String("silent") ? Waits::ShortIdleLimit : Waits::Real;
    const Run run = runIn(site.wd.path(), {QStringLiteral("--once")}, waits);
    site.server.releaseReplies();
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(run.out.at(i).startsWith(lines.at(i)), qPrintable(run.out.join(QLatin1Char('\n'))));
    // stderr carries the program's own lines only, none of the toolkit's.
    if (trouble == QLatin1String("log is a file")) {
        QVERIFY2(run.out.last().endsWith(QStringLiteral(" lines could not be written")), qPrintable(run.out.last()));
        // Which file the writer tries first depends on when the answers came.
        const QRegularExpression ownLine(QStringLiteral(
            "^(log/(fernwicklog|response(Point|Line|Plan)Data)-\\d{8}\\.txt cannot be written \\([^)]+\\); "
            "its lines are kept until it can be|\\d+ log and response lines could not be written)$"));
        const QStringList errLines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : errLines)
            QVERIFY2(ownLine.match(line).hasMatch(), qPrintable(run.err));
        QVERIFY2(errLines.filter(QRegularExpression(QStringLiteral("^log/fernwicklog-"))).size() == 1,
                 qPrintable(run.err));
    }
    if (exitCode != 0)
        return;
    QCOMPARE(run.err, QString());
    // All is on disk by the time the program has ended.
    const QString log = dailyFiles(site.wd.path(), QStringLiteral("fernwicklog-*.txt"));
    QVERIFY2(log.endsWith(QStringLiteral(" ****** end ******\n")), qPrintable(log.right(200)));
    QCOMPARE(dailyFiles(site.wd.path(), QStringLiteral("response*Data-*.txt")), QStringLiteral("ok\nok\nok\n"));
    for (const QString &kind : kinds)
        QCOMPARE(LocalFile().table(QStringLiteral("orva_%1_data").arg(kind)).size(), rowsPerKind);
    if (siteCa)
        QCOMPARE(siteCa->opens(), 1);
}

// Ended while the server holds every answer: the posts get the grace every ending gives
// them, are abandoned after it, each with its line, and the run counts as failed.
void OnceTest::terminationWhileWaitingCountsAsFailed()
{
    GeneratedSite site;
    QVERIFY(site.made);
    site.server.holdReplies();
    QProcess fernwick;
    start(&fernwick, site.wd.path(), {QStringLiteral("--once")}, Waits::ShortExitGrace);
    QTRY_COMPARE_WITH_TIMEOUT(site.server.requestCount(), kinds.size(), 30000);
    ::kill(pid_t(fernwick.processId()), SIGTERM);
    const Run run = finished(fernwick);
    site.server.releaseReplies();
    QCOMPARE(run.exitCode, 1);
    const QString abandoned = QStringLiteral("No answer from %1: the program was ending and waited 10 s for it, so "
                                             "the post was abandoned");
    QCOMPARE(run.out.size(), kinds.size());
    for (int i = 0; i < kinds.size(); ++i) {
        const QString failure = abandoned.arg(site.server.url(QLatin1Char('/') + kinds.at(i)));
        QCOMPARE(run.out.at(i), QStringLiteral("%1: 3 rows posted, failed: %2").arg(kinds.at(i), failure));
        const QString kind = kinds.at(i).at(0).toUpper() + kinds.at(i).mid(1);
        QCOMPARE(dailyFiles(site.wd.path(), QStringLiteral("response%1Data-*.txt").arg(kind)),
                 QStringLiteral("Failed: ") + failure + QLatin1Char('\n'));
    }
    const QString log = dailyFiles(site.wd.path(), QStringLiteral("fernwicklog-*.txt"));
    QVERIFY2(log.endsWith(QStringLiteral("exit: posts in flight: 3; waiting up to 10 s for their answers\n")),
             qPrintable(log.right(200)));
}

// The window and the scheduled task, or two task runs, in one site at once.
void OnceTest::runsAtOnceKeepEveryLine()
{
    const QString wrong = syncAtOnce(executable(), unattendedEnvironment(), 2, 60000);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void OnceTest::usageErrorsRunNoSync_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{"--twice"} << "Unknown option 'twice'";
    QTest::newRow("argument after --once") << QStringList{"--once", "now"} << "Unexpected argument: now";
    QTest::newRow("value for --once") << QStringList{"--once=3"} << "Unexpected value after '--once'";
    QTest::newRow("end of options only") << QStringList{"--"} << "Nothing to do";
}

void OnceTest::usageErrorsRunNoSync()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    GeneratedSite site;
    const Run run = runIn(site.wd.path(), arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(run.out, QStringList());
    QVERIFY(!QDir(site.wd.file(QStringLiteral("log"))).exists());
    QCOMPARE(site.server.requestCount(), 0);
}

void OnceTest::withoutDisplay_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString noDisplay = QStringLiteral("no display, so the window cannot open");
    QTest::newRow("window, no DISPLAY") << QString() << QStringList() << 1 << noDisplay;
    QTest::newRow("window, DISPLAY naming none") << ":4711" << QStringList() << 1 << noDisplay;
    QTest::newRow("window with a toolkit option") << ":4711" << QStringList{"-style", "fusion"} << 1 << noDisplay;
    QTest::newRow("usage error, DISPLAY naming none") << ":4711" << QStringList{"--bogus"} << 2
                                                      << "Unknown option 'bogus'";
}

// The window needs a display; nothing else does, and no case ends in an abort.
void OnceTest::withoutDisplay()
{
    QFETCH(QString, display);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    WorkingDir wd;
    QProcessEnvironment environment = unattendedEnvironment();
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    QProcess process;
    process.setWorkingDirectory(wd.path());
    process.setProcessEnvironment(environment);
    process.start(executable(), arguments);
    const Run run = finished(process);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    if (exitCode == 1) {
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(run.err.contains(QStringLiteral("'fernwick --once' runs a sync without one")), qPrintable(run.err));
    }
    QVERIFY(!QDir(wd.file(QStringLiteral("log"))).exists());
}

void OnceTest::helpAndVersion_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("expected");
    QTest::newRow("--help") << "--help" << "--once";
    QTest::newRow("--help-all") << "--help-all" << "-platform";
    QTest::newRow("--version") << "--version" << "fernwick " FERNWICK_VERSION;
}

void OnceTest::helpAndVersion()
{
    QFETCH(QString, option);
    QFETCH(QString, expected);
    WorkingDir wd;
    const Run run = runIn(wd.path(), {option});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.join(QLatin1Char('\n')).contains(expected), qPrintable(run.out.join(QLatin1Char('\n'))));
    QVERIFY(!QDir(wd.file(QStringLiteral("log"))).exists());
}

QTEST_GUILESS_MAIN(OnceTest)
#include "tst_once.moc"
