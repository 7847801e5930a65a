// The real executable as an installer runs it before the first sync: --set-database points
// fernwick.db at the guard-tour database, --check says step by step whether a sync would work.
#include "support/certificates.h"
#include "support/diskfaults.h"
#include "support/localfile.h"
#include "support/programrun.h"
#include "support/site.h"

#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <pwd.h>
#include <unistd.h>
#include <sys/resource.h>

namespace {
const QString defaultPath = QStringLiteral("D:/Program Files (x86)/Quellard B1.0/GuardTour_DB.mdb");
const QString newPath = QStringLiteral("/srv/site one/GuardTour_DB.mdb");

// What a run meets besides its arguments and its input.
struct Disturbance
{
    int signal = 0;          // sent once the program catches it and its output holds `signalAfter`
    QByteArray signalAfter;  // the input is written only after the signal
    bool diskFull = false;   // no file may grow, as on a full disk
    bool shortWaits = false; // the waits for a server cut to 500 ms, which a local connection
                             // keeps on a loaded machine; the texts keep their seconds
    QString systemProxy;     // http_proxy, when the system has a proxy
};

// The signal a test row names; 0 for none.
int signalNamed(const QString &name)
{
    const QHash<QString, int> named = {{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};
    return named.value(name);
}

// Whether the process has a handler of its own for `signal`, as its status in /proc says.
bool catches(qint64 pid, int signal)
{
    const QByteArray status = readAll(QStringLiteral("/proc/%1/status").arg(pid));
    const int at = status.indexOf("SigCgt:");
    if (at < 0)
        return false;
    const QByteArray mask = status.mid(at + 7, status.indexOf('\n', at) - at - 7).trimmed();
    return (mask.toULongLong(nullptr, 16) >> (signal - 1)) & 1u;
}

// The program's process; with `diskFull` no file it writes may grow.
class Fernwick : public QProcess
{
public:
    bool diskFull = false;

protected:
    void setupChildProcess() override
    {
        if (!diskFull)
            return;
        // A write past the limit then fails as on a full disk, instead of ending the program.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit nothingMore = {0, 0};
        ::setrlimit(RLIMIT_FSIZE, &nothingMore);
    }
};

// As a timer or a terminal without a display runs it.
Run run(const QStringList &arguments, const QByteArray &input = QByteArray(), const Disturbance &disturbance = {})
{
    QProcessEnvironment environment = unattendedEnvironment();
    if (disturbance.shortWaits)
        environment.insert(QStringLiteral("FERNWICK_IDLE_LIMIT_MS"), QStringLiteral("500"));
    if (!disturbance.systemProxy.isEmpty())
        environment.insert(QStringLiteral("http_proxy"), disturbance.systemProxy);
    Fernwick process;
    process.diskFull = disturbance.diskFull;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::currentPath());
    process.start(qEnvironmentVariable("FERNWICK_EXE"), arguments);
    QByteArray out;
    // Until the program has started, the child is a copy of this test, with its handlers.
    if (disturbance.signal != 0 && process.waitForStarted(30000)) {
        const bool ready = QTest::qWaitFor([&] {
            out += process.readAllStandardOutput();
            return catches(process.processId(), disturbance.signal) && out.contains(disturbance.signalAfter);
        }, 30000);
        if (ready)
            ::kill(pid_t(process.processId()), disturbance.signal);
    }
    process.write(input);
    process.closeWriteChannel();
    return finished(process, 60000, out);
}

QList<QStringList> configurationRows()
{
    return LocalFile().table(QStringLiteral("orva_fernwick_config"));
}

quint16 closedPort()
{
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost, 0);
    return listener.serverPort();
}

QStringList kindLines(const QString &outcome)
{
    return {"point: " + outcome, "line: " + outcome, "plan: " + outcome};
}

// The lines of a check whose every URL is `url` + "/<kind>", each step as given.
QStringList endpointLines(const QStringList &steps)
{
    QStringList lines;
    for (const QString &key : QStringList{"POINT_HTTPURL", "LINE_HTTPURL", "PLAN_HTTPURL"}) {
        for (const QString &step : steps)
            lines << key + QStringLiteral(": ") + step;
    }
    return lines;
}
}

class SiteSetupTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void setDatabaseWritesTheRecord_data();
    void setDatabaseWritesTheRecord();
    void setDatabaseRefusesWhileAnotherProgramHoldsTheFile();
    void optionsThatDoNotGoTogether_data();
    void optionsThatDoNotGoTogether();
    void checkSaysEachStep_data();
    void checkSaysEachStep();

private:
    QTemporaryDir certificateDir;
    TestCertificates certificates;
};

void SiteSetupTest::initTestCase()
{
    QVERIFY2(QFileInfo::exists(qEnvironmentVariable("FERNWICK_EXE")), "FERNWICK_EXE names no executable");
    QVERIFY2(certificates.make(certificateDir.path()), qPrintable(certificates.error()));
}

void SiteSetupTest::setDatabaseWritesTheRecord_data()
{
    QTest::addColumn<QList<QStringList>>("before"); // no table when empty; {} for an empty table
    QTest::addColumn<bool>("hasTable");
    QTest::addColumn<QByteArray>("input");          // null: no --password-stdin
    QTest::addColumn<QString>("trouble");           // a signal's name, or "disk full"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");              // the beginning of one line on stdout
    QTest::addColumn<QList<QStringList>>("after");  // empty: no fernwick.db at all
    const QString path = newPath;
    const QString set = QStringLiteral("fernwick.db: the guard-tour database is ") + path;
    using Rows = QList<QStringList>;
    const Rows old = {{"C:/old.mdb", "old"}};
    QTest::newRow("empty directory") << Rows() << false << QByteArray() << "" << 0 << set << Rows{{path, "XQ"}};
    QTest::newRow("empty directory, password")
        << Rows() << false << QByteArray("pä;ss}\n") << "" << 0 << set << Rows{{path, "pä;ss}"}};
    QTest::newRow("password without line end")
        << Rows() << false << QByteArray("secret") << "" << 0 << set << Rows{{path, "secret"}};
    QTest::newRow("empty password line") << Rows() << false << QByteArray("\r\n") << "" << 0 << set << Rows{{path, ""}};
    QTest::newRow("row kept, password unchanged") << old << true << QByteArray() << "" << 0 << set << Rows{{path, "old"}};
    QTest::newRow("every row changed") << Rows{{"a", "1"}, {"b", "2"}} << true << QByteArray("new\nignored\n") << ""
                                       << 0 << set << Rows{{path, "new"}, {path, "new"}};
    QTest::newRow("empty table") << Rows() << true << QByteArray() << "" << 0 << set << Rows{{path, "XQ"}};
    // A failed password command in a pipe gives no line at all, which is no password.
    const QString noLine = QStringLiteral("fernwick.db: no password was read: standard input ended before its first "
                                          "line; nothing was changed");
    QTest::newRow("input ended before a line") << old << true << QByteArray("") << "" << 1 << noLine << old;
    QTest::newRow("input ended, no fernwick.db yet") << Rows() << false << QByteArray("") << "" << 1 << noLine << Rows();
    const QString notText = QStringLiteral("fernwick.db: the password on standard input is not UTF-8 text");
    QTest::newRow("Latin-1 password") << old << true << QByteArray("p\xe4ssw\xf6rd\n") << "" << 1 << notText << old;
    QTest::newRow("line cut inside a character") << old << true << QByteArray("p\xc3") << "" << 1 << notText << old;
    QTest::newRow("NUL byte") << old << true << QByteArray("ab\0cd\n", 6) << "" << 1
                              << "fernwick.db: the password on standard input holds a NUL byte" << old;
    // The line comes only after the signal, which must have ended the program by then.
    const QString toldToEnd = QStringLiteral("fernwick.db: no password was read: the program was told to end; nothing "
                                             "was changed");
    for (const char *signal : {"SIGINT", "SIGTERM", "SIGHUP"})
        QTest::newRow(qPrintable(QStringLiteral("%1 at the prompt").arg(signal)))
            << old << true << QByteArray("late\n") << signal << 1 << toldToEnd << old;
    QTest::newRow("disk full, no fernwick.db yet") << Rows() << false << QByteArray() << "disk full" << 1
                                                   << "fernwick.db cannot be written (" << Rows();
}

void SiteSetupTest::setDatabaseWritesTheRecord()
{
    QFETCH(QList<QStringList>, before);
    QFETCH(bool, hasTable);
    QFETCH(QByteArray, input);
    QFETCH(QString, trouble);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QList<QStringList>, after);
    WorkingDir wd;
    if (hasTable)
        QVERIFY(writeConfigurationTable(before));
    QStringList arguments = {"--set-database", newPath};
    if (!input.isNull())
        arguments << "--password-stdin";
    Disturbance disturbance;
    disturbance.signal = signalNamed(trouble);
    disturbance.diskFull = trouble == QLatin1String("disk full");
    const Run result = run(arguments, input, disturbance);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.err, QString());
    QVERIFY2(std::any_of(result.out.begin(), result.out.end(), [&said](const QString &line) { return line.startsWith(said); }),
             qPrintable(result.out.join('\n')));
    if (exitCode != 0)
        QVERIFY2(result.out.last().endsWith(QStringLiteral("nothing was changed")), qPrintable(result.out.last()));
    if (after.isEmpty())
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    else
        QCOMPARE(configurationRows(), after);
    // Nothing of a sync: no log, no snapshot tables, and the password never on the command line.
    QVERIFY(!QDir(QStringLiteral("log")).exists());
    if (!after.isEmpty())
        QVERIFY(!LocalFile().hasTable(QStringLiteral("orva_point_data")));
}

// Nothing is waited for and nothing is written: the row stays as it was, whole.
void SiteSetupTest::setDatabaseRefusesWhileAnotherProgramHoldsTheFile()
{
    WorkingDir wd;
    QVERIFY(writeConfigurationTable({{"C:/old.mdb", "old"}}));
    {
        LocalFile other(QStringLiteral("other_program"));
        QVERIFY(other.exec(QStringLiteral("begin immediate")));
        const Run result = run({"--set-database", "/srv/new.mdb", "--password-stdin"}, "new\n");
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.out, QStringList{"fernwick.db is in use by another program (database is locked); nothing was "
                                         "changed. Close that program and try again"});
        QVERIFY(other.exec(QStringLiteral("rollback")));
    }
    QCOMPARE(configurationRows(), (QList<QStringList>{{"C:/old.mdb", "old"}}));
}

void SiteSetupTest::optionsThatDoNotGoTogether_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("password alone") << QStringList{"--password-stdin"} << "--password-stdin goes with --set-database";
    QTest::newRow("check and once") << QStringList{"--check", "--once"} << "one at a time";
    QTest::newRow("no path") << QStringList{"--set-database"} << "Missing value after '--set-database'";
    QTest::newRow("empty path") << QStringList{"--set-database", ""} << "needs the guard-tour database's path";
}

void SiteSetupTest::optionsThatDoNotGoTogether()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    WorkingDir wd;
    const Run result = run(arguments, "secret\n");
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QVERIFY(!QFile::exists(QStringLiteral("fernwick.db")));
}

void SiteSetupTest::checkSaysEachStep_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // each the beginning of its line
    const QStringList readable = QStringList{"fernwick.db: the guard-tour database is ", "guard-tour database: opened"}
        + kindLines("3 rows read");
    const QString plainSteps = QStringLiteral("127.0.0.1 resolved to 127.0.0.1|connected to 127.0.0.1:");
    const QStringList plain = endpointLines(plainSteps.split('|'));
    QTest::newRow("all would work") << "" << 0 << readable + plain + QStringList{"check: everything would work"};
    QTest::newRow("https, site CA named")
        << "https" << 0
        << readable + QStringList{"CA_CERTIFICATES: read"}
               + endpointLines({"127.0.0.1 resolved to 127.0.0.1", "connected to 127.0.0.1:", "TLS handshake with "})
               + QStringList{"check: everything would work"};
    QTest::newRow("https, certificate not trusted")
        << "untrusted" << 1
        << readable
               + endpointLines({"127.0.0.1 resolved to 127.0.0.1", "connected to 127.0.0.1:", "TLS handshake with "})
               + QStringList{"check: 3 of the steps above failed"};
    QTest::newRow("nobody listening")
        << "closed port" << 1
        << readable + endpointLines({"127.0.0.1 resolved to 127.0.0.1", "cannot connect to 127.0.0.1:"})
               + QStringList{"check: 3 of the steps above failed"};
    QTest::newRow("host unknown") << "unknown host" << 1
                                  << readable + endpointLines({"no-such-host.invalid cannot be resolved: "})
                                         + QStringList{"check: 3 of the steps above failed"};
    QTest::newRow("guard-tour database missing")
        << "no database" << 1
        << QStringList{"fernwick.db: the guard-tour database is ", "guard-tour database: cannot be opened: "} + plain
               + QStringList{"check: 1 of the steps above failed"};
    QTest::newRow("no fernwick.db") << "no fernwick.db" << 1
                                    << QStringList{"fernwick.db: fernwick.db is not there; 'fernwick --set-database "
                                                   "PATH' sets it up"}
                                           + plain + QStringList{"check: 1 of the steps above failed"};
    QTest::newRow("no URL for plans")
        << "no plan url" << 1
        << readable + endpointLines(plainSteps.split('|')).mid(0, 4)
               + QStringList{"PLAN_HTTPURL: not set in sys.ini", "check: 1 of the steps above failed"};
    // The rule of the posts: such a URL would go to port 80.
    QTest::newRow("port that does not parse")
        << "bad plan port" << 1
        << readable + endpointLines(plainSteps.split('|')).mid(0, 4)
               + QStringList{"PLAN_HTTPURL: PLAN_HTTPURL in sys.ini is \"http://127.0.0.1:8o80/plan\", which is not a URL "
                             "that can be posted to as written (",
                             "check: 1 of the steps above failed"};
    // HTTP_TIMEOUT_SECONDS=0 lets a post wait for ever, never the check.
    QTest::newRow("handshake never answered, no limit set")
        << "silent" << 1
        << readable
               + endpointLines({"127.0.0.1 resolved to 127.0.0.1", "connected to 127.0.0.1:", "TLS handshake with "})
               + QStringList{"check: 3 of the steps above failed"};
    const QStringList interrupted = readable + QStringList{"POINT_HTTPURL: 127.0.0.1 resolved to 127.0.0.1",
                                                           "POINT_HTTPURL: connected to 127.0.0.1:",
                                                           "check: interrupted, so not every step was checked"};
    QTest::newRow("SIGINT while waiting for a handshake") << "SIGINT" << 1 << interrupted;
    QTest::newRow("SIGTERM while waiting for a handshake") << "SIGTERM" << 1 << interrupted;
    // What one account made, another may not be allowed to change.
    QTest::newRow("fernwick.db cannot be written")
        << "fernwick.db immutable" << 1
        << QStringList{"site folder: the account it runs as (root) cannot write to fernwick.db ("
                       + QString::fromLocal8Bit(std::strerror(EPERM))
                       + "); give that account modify rights on the site folder and everything in it"}
               + readable + plain + QStringList{"check: 1 of the steps above failed"};
    // As the posts go: an http:// post to the proxy itself, which this machine must reach.
    QTest::newRow("proxy named in sys.ini")
        << "proxy" << 0
        << readable + endpointLines({"the proxy 127.0.0.1 resolved to 127.0.0.1", "connected to the proxy 127.0.0.1:"})
               + QStringList{"check: everything would work"};
    QTest::newRow("none over the system's proxy")
        << "no proxy" << 0 << readable + plain + QStringList{"check: everything would work"};
    QTest::newRow("PROXY_HTTPURL that names no proxy")
        << "bad proxy" << 1
        << readable
               + endpointLines({"PROXY_HTTPURL in sys.ini is \"ftp://127.0.0.1\", which is neither the http:// or "
                                "socks5:// URL of a proxy nor none; nothing was posted"})
               + QStringList{"check: 3 of the steps above failed"};
    QTest::newRow("IPv6 address") << "ipv6" << 0
                                  << readable + endpointLines({"::1 resolved to ::1", "connected to [::1]:"})
                                         + QStringList{"check: everything would work"};
}

// Each step is one line; nothing reaches the server, the snapshot tables or the log.
void SiteSetupTest::checkSaysEachStep()
{
    QFETCH(QString, trouble);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    Site site;
    QVERIFY(site.generate(3));
    std::unique_ptr<TestServer> https;
    if (trouble == QLatin1String("https") || trouble == QLatin1String("untrusted")) {
        https.reset(new TestServer(certificates.forLocalAddress.certificate, certificates.forLocalAddress.key));
        site.postTo(https->url(QString()));
    }
    if (trouble == QLatin1String("https"))
        QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("CA_CERTIFICATES"), certificates.authority);
    if (trouble == QLatin1String("closed port"))
        site.postTo(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
    if (trouble == QLatin1String("unknown host"))
        site.postTo(QStringLiteral("http://no-such-host.invalid"));
    if (trouble == QLatin1String("no database"))
        QVERIFY(QFile::remove(site.path));
    if (trouble == QLatin1String("no fernwick.db"))
        QVERIFY(QFile::remove(QStringLiteral("fernwick.db")));
    if (trouble == QLatin1String("no plan url"))
        QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat).remove(QStringLiteral("PLAN_HTTPURL"));
    if (trouble == QLatin1String("bad plan port"))
        QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("PLAN_HTTPURL"), QStringLiteral("http://127.0.0.1:8o80/plan"));
    // The system takes the connections; nobody ever says a word on them.
    QTcpServer silent;
    const bool ipv6 = trouble == QLatin1String("ipv6");
    QVERIFY(silent.listen(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost, 0) || ipv6);
    if (ipv6 && !silent.isListening())
        QSKIP("no IPv6 loopback here");
    const Disturbance disturbance = {signalNamed(trouble), "POINT_HTTPURL: connected to", false,
                                     trouble == QLatin1String("silent"),
                                     // a system proxy nobody listens on, which the site's own setting overrides
                                     trouble == QLatin1String("no proxy")
                                         ? QStringLiteral("http://127.0.0.1:%1").arg(closedPort())
                                         : QString()};
    if (disturbance.signal != 0 || disturbance.shortWaits)
        site.postTo(QStringLiteral("https://127.0.0.1:%1").arg(silent.serverPort()));
    if (disturbance.shortWaits)
        QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat).setValue(QStringLiteral("HTTP_TIMEOUT_SECONDS"), 0);
    if (ipv6)
        site.postTo(QStringLiteral("http://[::1]:%1").arg(silent.serverPort()));
    // The system takes the proxy's connections too.
    const QMap<QString, QString> proxySettings = {
        {QStringLiteral("proxy"), QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort())},
        {QStringLiteral("no proxy"), QStringLiteral("none")},
        {QStringLiteral("bad proxy"), QStringLiteral("ftp://127.0.0.1")}};
    if (proxySettings.contains(trouble))
        QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("PROXY_HTTPURL"), proxySettings.value(trouble));
    const QByteArray localFile = readAll(QStringLiteral("fernwick.db"));
    std::unique_ptr<UndeletableFile> immutable;
    if (trouble == QLatin1String("fernwick.db immutable")) {
        immutable.reset(new UndeletableFile(QStringLiteral("fernwick.db")));
        if (!immutable->held || ::geteuid() != 0)
            QSKIP("only root can mark a file immutable here, and only on some file systems");
    }
    if (!lines.first().startsWith(QLatin1String("site folder: ")))
        lines.prepend(QStringLiteral("site folder: the account it runs as (%1) may write in it and to its files")
                          .arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name)));

    const Run result = run({"--check"}, QByteArray(), disturbance);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.err, QString());
    QCOMPARE(result.out.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(result.out.at(i).startsWith(lines.at(i)), qPrintable(result.out.join('\n')));
    if (disturbance.shortWaits)
        QVERIFY2(result.out.at(8).endsWith(" failed: no answer within 30 s"), qPrintable(result.out.at(8)));
    if (trouble == QLatin1String("untrusted"))
        QVERIFY2(result.out.at(8).contains("failed: " + QSslError(QSslError::UnableToGetLocalIssuerCertificate).errorString()
                                           + " (subject CN=127.0.0.1; issuer CN=Site CA, O=Patrol Site)"),
                 qPrintable(result.out.at(8)));
    QCOMPARE(site.server.requestCount(), 0);
    if (https)
        QCOMPARE(https->requestCount(), 0);
    QCOMPARE(readAll(QStringLiteral("fernwick.db")), localFile);
    QVERIFY(!QDir(QStringLiteral("log")).exists());
}

QTEST_GUILESS_MAIN(SiteSetupTest)
#include "tst_sitesetup.moc"
