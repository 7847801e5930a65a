// The Windows build, run under Wine as a site runs it: unattended runs end with the Linux
// build's lines and exit statuses, Windows paths and Windows file sharing are handled, Ctrl+C
// and the end of a session end it as a closed window does, the window shows every widget and
// its button syncs again, and the installer installs, runs and uninstalls as an administrator
// expects it to.
#include "gtdb.h"
#include "support/certificates.h"
#include "support/diskfaults.h"
#include "support/programrun.h"
#include "support/site.h"

#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {
const QStringList kinds = {QStringLiteral("point"), QStringLiteral("line"), QStringLiteral("plan")};
// A run under Wine may first have to bring its prefix up.
constexpr int wineRunMs = 120000;

// The build a run is made with: the Windows one under Wine (FERNWICK_EXE runs it) or Linux's.
enum class Build { Windows, Linux };

QString executable(Build build)
{
    return qEnvironmentVariable(build == Build::Windows ? "FERNWICK_EXE" : "FERNWICK_LINUX_EXE");
}

QString windowsPath(const QString &unixPath)
{
    return QStringLiteral("Z:") + QString(unixPath).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// Wine's own programs, in the prefix the build runs in.
QString wine()
{
    return qEnvironmentVariable("FERNWICK_WINE");
}

QProcessEnvironment unattended(const QString &display = QString())
{
    QProcessEnvironment environment = unattendedEnvironment();
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("FERNWICK_EXIT_GRACE_MS"), QStringLiteral("3000"));
    return environment;
}

void start(QProcess *process, Build build, const QString &directory, const QStringList &arguments,
           const QString &display = QString())
{
    process->setWorkingDirectory(directory);
    process->setProcessEnvironment(unattended(display));
    process->start(executable(build), arguments);
}

Run runIn(Build build, const QString &directory, const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    start(&process, build, directory, arguments);
    process.write(input);
    process.closeWriteChannel();
    return finished(process, wineRunMs);
}

void appendToSysIni(const QString &directory, const QByteArray &lines)
{
    QFile file(directory + QStringLiteral("/sys.ini"));
    if (file.open(QIODevice::Append))
        file.write(lines);
}

// What a site's lines say, with its own folder and server made the same for all.
QStringList comparable(const Run &run, const Site &site)
{
    const QUrl server(site.server.url(QString()));
    QStringList lines = run.out;
    // The help names the program as it was started and takes -? too, as the toolkit does on Windows.
    return lines.replaceInStrings(QStringLiteral(":%1").arg(server.port()), QStringLiteral(":port"))
        .replaceInStrings(site.wd.path(), QStringLiteral("/site"))
        .replaceInStrings(QRegularExpression(QStringLiteral("^Usage: .* \\[options\\]$")), QStringLiteral("Usage: fernwick"))
        .replaceInStrings(QStringLiteral("-?, -h, --help"), QStringLiteral("-h, --help"))
        .replaceInStrings(QRegularExpression(QStringLiteral("  +")), QStringLiteral(" "))
        .replaceInStrings(QRegularExpression(QStringLiteral("cannot write to (\\S+) \\(.*\\);")),
                          QStringLiteral("cannot write to \\1 (the system's reason);"));
}

// Whether the process waits for its standard input, as /proc says of its threads: one in
// read(2) (call 3 in a 32-bit process, 0 in a 64-bit one) on a descriptor of the same pipe as
// descriptor 0, as Wine reads it, or, as the Linux build waits, its main thread in poll(2).
bool readsStandardInput(qint64 pid)
{
    const QString process = QStringLiteral("/proc/%1").arg(pid);
    const QString input = QFile::symLinkTarget(process + QStringLiteral("/fd/0"));
    QDirIterator tasks(process + QStringLiteral("/task"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (tasks.hasNext()) {
        const QString task = tasks.next();
        const QList<QByteArray> call = readAll(task + QStringLiteral("/syscall")).split(' ');
        if (call.size() < 2)
            continue;
        const QString descriptor = QString::number(call.at(1).toLongLong(nullptr, 16));
        if ((call.at(0) == "0" || call.at(0) == "3")
            && QFile::symLinkTarget(process + QStringLiteral("/fd/") + descriptor) == input)
            return true;
        if (call.at(0) == "7" && task == process + QStringLiteral("/task/") + QString::number(pid))
            return true;
    }
    return false;
}

// How many colours a piece of a screenshot has: one where nothing was drawn on it.
int colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    }
    return colours.size();
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 60000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// A program of this machine's, run to its end.
QString output(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(unattended());
    process.start(program, arguments);
    process.waitForFinished(120000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

const QString uninstallKey = QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KELDO-FERNWICK");

// A text file of the installer's, which Notepad would read as UTF-16 when it starts with a BOM.
QString readText(const QString &path)
{
    const QByteArray bytes = readAll(path);
    if (bytes.startsWith("\xff\xfe"))
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    return QString::fromUtf8(bytes);
}
}

class WindowsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void unattendedRunsEndAsOnLinux_data();
    void unattendedRunsEndAsOnLinux();
    void windowsPathsAndFiles_data();
    void windowsPathsAndFiles();
    void endingWaitsForTheAnswers_data();
    void endingWaitsForTheAnswers();
    void passwordPromptEndsWhenToldTo_data() { endingWaitsForTheAnswers_data(); }
    void passwordPromptEndsWhenToldTo();
    void runsAtOnceKeepEveryLine();
    void consoleShowsPathsAsTheyAre();
    void carriesAnApplicationManifest();
    void windowShowsEverythingAndSyncsAgain();
    void installsRunsAndUninstalls();
    void installerAsAnAdministratorJudgesIt_data();
    void installerAsAnAdministratorJudgesIt();
    void signsWhenACertificateIsGiven_data();
    void signsWhenACertificateIsGiven();

private:
    QTemporaryDir certificateDir;
    TestCertificates certificates;
};

void WindowsTest::initTestCase()
{
    QVERIFY2(!executable(Build::Windows).isEmpty() && !executable(Build::Linux).isEmpty(),
             "FERNWICK_EXE and FERNWICK_LINUX_EXE name the two builds; make test-windows sets them");
    QVERIFY2(certificates.make(certificateDir.path()), qPrintable(certificates.error()));
}

void WindowsTest::unattendedRunsEndAsOnLinux_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    QTest::newRow("every kind answered") << "answered" << QStringList{"--once"} << 0 << "point: 3 rows posted, answered";
    QTest::newRow("a failed post") << "500" << QStringList{"--once"} << 1 << "point: 3 rows posted, failed: ";
    // The Windows build inflates with the zlib inside Qt, the Linux build with the system's.
    QTest::newRow("a gzip answer") << "gzip" << QStringList{"--once"} << 0 << "point: 3 rows posted, answered";
    QTest::newRow("a skipped kind") << "skipped" << QStringList{"--once"} << 1 << "line: skipped, read failed: ";
    // The driver manager is then asked whether it has the Access driver at all.
    QTest::newRow("no database at the path") << "no database" << QStringList{"--once"} << 1
                                             << "point: skipped, read failed: ";
    QTest::newRow("a usage error") << "answered" << QStringList{"--twice"} << 2 << "";
    // Printed, also where there is no console (here a pipe), never in a box that waits for OK.
    QTest::newRow("--help") << "answered" << QStringList{"--help"} << 0 << "  --once ";
    QTest::newRow("--version") << "answered" << QStringList{"--version"} << 0 << "fernwick " FERNWICK_VERSION;
    QTest::newRow("sys.ini saved as UTF-16") << "utf16 sys.ini" << QStringList{"--once"} << 1
                                             << "point: 3 rows read, not posted: sys.ini is saved as UTF-16 little-endian";
    // The server reads at about 0.5 MB/s, with a limit of 2 s: each post must count what the server
    // took, not what the system took into its send queue at once and then drained for seconds.
    QTest::newRow("a server that takes the bodies slowly") << "slow reader" << QStringList{"--once"} << 0
                                                            << "plan: 20000 rows posted, answered";
    // A refusal sent before the server reset the connection on the unread body is the answer.
    QTest::newRow("a refusal before a reset") << "413 then reset" << QStringList{"--once"} << 1
                                              << "plan: 20000 rows posted, failed: HTTP 413 Payload Too Large";
    QTest::newRow("--check") << "answered" << QStringList{"--check"} << 0 << "check: everything would work";
    QTest::newRow("--check, no server") << "no server" << QStringList{"--check"} << 1 << "check: ";
    // Wine has no rights of its own; a file even root may not write stands in for one the
    // window's user may not write because the task's account made it.
    QTest::newRow("--check, fernwick.db cannot be written") << "fernwick.db immutable" << QStringList{"--check"} << 1
                                                            << "cannot write to fernwick.db (";
}

// The same site run by either build: the same lines, the same status.
void WindowsTest::unattendedRunsEndAsOnLinux()
{
    QFETCH(QString, scenario);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QList<QStringList> outputs;
    for (const Build build : {Build::Linux, Build::Windows}) {
        Site site;
        const bool largeBodies = scenario == QLatin1String("slow reader") || scenario == QLatin1String("413 then reset");
        QVERIFY(site.generate(largeBodies ? 20000 : 3));
        if (scenario == QLatin1String("slow reader")) {
            appendToSysIni(site.wd.path(), "HTTP_TIMEOUT_SECONDS=2\n");
            site.server.readBodySlowly(4 << 20, 4096, 8000);
        }
        // A post that missed the reset would wait out the limit.
        if (scenario == QLatin1String("413 then reset")) {
            appendToSysIni(site.wd.path(), "HTTP_TIMEOUT_SECONDS=10\n");
            site.server.answerRawEarly("HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\n\r\n", false);
        }
        if (scenario == QLatin1String("500"))
            site.server.answerWith(500, "busy");
        // {"msg":"ok"}, gzipped by Python's gzip module.
        if (scenario == QLatin1String("gzip"))
            site.server.answerRaw(QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 32\r\n\r\n"
                                             "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\x56\xca\x2d\x4e\x57\xb2\x52"
                                             "\xca\xcf\x56\xaa\x05\x00\xde\xf4\xe7\x2f\x0c\x00\x00\x00",
                                             95));
        if (scenario == QLatin1String("skipped"))
            QVERIFY(dropTable(site.path, QStringLiteral("GT_LINE")));
        if (scenario == QLatin1String("no database"))
            QVERIFY(QFile::remove(site.path));
        if (scenario == QLatin1String("no server"))
            site.postTo(QStringLiteral("http://127.0.0.1:1"));
        if (scenario == QLatin1String("utf16 sys.ini"))
            QVERIFY(saveAsUtf16(site.wd.file(QStringLiteral("sys.ini"))));
        std::unique_ptr<UndeletableFile> immutable;
        if (scenario == QLatin1String("fernwick.db immutable")) {
            immutable.reset(new UndeletableFile(site.wd.file(QStringLiteral("fernwick.db"))));
            if (!immutable->held)
                QSKIP("only root can mark a file immutable here, and only on some file systems");
        }
        const Run run = runIn(build, site.wd.path(), arguments);
        const QString said = QStringLiteral("%1 build, exit %2: %3%4")
                                 .arg(build == Build::Windows ? "Windows" : "Linux")
                                 .arg(run.exitCode)
                                 .arg(run.err, run.out.join(QLatin1Char('\n')));
        QVERIFY2(run.exitCode == exitCode, qPrintable(said));
        if (!line.isEmpty())
            QVERIFY2(run.out.filter(line).size() == 1, qPrintable(said));
        outputs << comparable(run, site);
    }
    QCOMPARE(outputs.at(1), outputs.at(0));
}

void WindowsTest::windowsPathsAndFiles_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("logLine");
    // Loading TLS reads the system's whole store of authorities, which plain http posts never use.
    QTest::addColumn<bool>("loadsTls");
    QTest::newRow("CJK working directory, database set by its Windows path")
        << "windows path" << 0 << "point: 3 rows posted, answered" << false;
    QTest::newRow("https, CA_CERTIFICATES as a Windows path with CJK")
        << "https" << 0 << "point: 3 rows posted, answered" << true;
    QTest::newRow("LOG_KEEP_DAYS") << "old logs" << 0 << "log: removed 2 daily files" << false;
    QTest::newRow("LOG_KEEP_DAYS, a file another program holds open")
        << "held open" << 1 << "fernwicklog-20000102.txt" << false;
}

void WindowsTest::windowsPathsAndFiles()
{
    QFETCH(QString, scenario);
    QFETCH(int, exitCode);
    QFETCH(QString, logLine);
    QFETCH(bool, loadsTls);
    Site site;
    QVERIFY(site.generate(3));
    QString directory = site.wd.path();
    QProcess holder;
    if (scenario == QLatin1String("windows path")) {
        directory = site.wd.file(QStringLiteral("巡更 站点"));
        QVERIFY(QDir().mkpath(directory));
        QVERIFY(QFile::copy(site.wd.file(QStringLiteral("sys.ini")), directory + QStringLiteral("/sys.ini")));
        const Run set = runIn(Build::Windows, directory, {QStringLiteral("--set-database"), windowsPath(site.path)});
        QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    } else if (scenario == QLatin1String("https")) {
        const QString folder = site.wd.file(QStringLiteral("证书"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(certificates.authority, folder + QStringLiteral("/site-ca.pem")));
        static TestServer https(certificates.forLocalAddress.certificate, certificates.forLocalAddress.key);
        site.postTo(https.url(QString()));
        appendToSysIni(directory, "CA_CERTIFICATES=" + windowsPath(folder + QStringLiteral("/site-ca.pem")).toUtf8() + "\n");
    } else {
        QVERIFY(QDir().mkpath(site.wd.file(QStringLiteral("log"))));
        for (const QString &old : {QStringLiteral("fernwicklog-20000101.txt"), QStringLiteral("fernwicklog-20000102.txt")}) {
            QFile file(site.wd.file(QStringLiteral("log/") + old));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        appendToSysIni(directory, "LOG_KEEP_DAYS=14\n");
        if (scenario == QLatin1String("held open")) {
            holder.setProcessEnvironment(unattended());
            holder.start(wine(), {qEnvironmentVariable("FERNWICK_WINDOWS_HOLDOPEN"),
                                  windowsPath(site.wd.file(QStringLiteral("log/fernwicklog-20000102.txt")))});
            QVERIFY(waitFor([&holder] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; }));
            QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
        }
    }
    // Wine names each library the program loads on stderr.
    QProcess process;
    QProcessEnvironment environment = unattended();
    environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("+loaddll"));
    process.setWorkingDirectory(directory);
    process.setProcessEnvironment(environment);
    process.start(executable(Build::Windows), {QStringLiteral("--once")});
    const Run run = finished(process, wineRunMs);
    holder.closeWriteChannel();
    holder.waitForFinished();
    QVERIFY2(run.exitCode == exitCode, qPrintable(QStringLiteral("exit %1: %2 %3").arg(run.exitCode).arg(run.out.join('\n'), run.err)));
    const QString log = dailyFiles(directory, QStringLiteral("fernwicklog-*.txt")) + run.out.join(QLatin1Char('\n'));
    QVERIFY2(log.contains(logLine), qPrintable(log.right(2000)));
    QCOMPARE(run.err.contains(QStringLiteral("libssl"), Qt::CaseInsensitive), loadsTls);
    if (scenario == QLatin1String("held open")) {
        QVERIFY(log.contains(QStringLiteral("could not remove fernwicklog-20000102.txt (")));
        QVERIFY(!QFile::exists(site.wd.file(QStringLiteral("log/fernwicklog-20000101.txt"))));
    }
}

void WindowsTest::endingWaitsForTheAnswers_data()
{
    QTest::addColumn<int>("build");
    QTest::newRow("Linux, SIGINT") << int(Build::Linux);
    QTest::newRow("Windows, Ctrl+C (Wine's SIGINT)") << int(Build::Windows);
}

// Told to end while every answer is held back, the program waits; answers that come within
// the grace are recorded as answered, and the run counts as complete.
void WindowsTest::endingWaitsForTheAnswers()
{
    QFETCH(int, build);
    Site site;
    QVERIFY(site.generate(3));
    site.server.holdReplies();
    QProcess fernwick;
    start(&fernwick, Build(build), site.wd.path(), {QStringLiteral("--once")});
    QVERIFY(waitFor([&site] { return site.server.requestCount() == kinds.size(); }));
    ::kill(pid_t(fernwick.processId()), SIGINT);
    QVERIFY(waitFor([&site] {
        return dailyFiles(site.wd.path(), QStringLiteral("fernwicklog-*.txt")).contains(QStringLiteral("exit: posts in flight: 3"));
    }));
    site.server.releaseReplies();
    const Run run = finished(fernwick, wineRunMs);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, (QStringList{"point: 3 rows posted, answered", "line: 3 rows posted, answered",
                                   "plan: 3 rows posted, answered"}));
}

// Told to end while it waits for the password's line, the program ends and changes nothing.
void WindowsTest::passwordPromptEndsWhenToldTo()
{
    QFETCH(int, build);
    WorkingDir wd;
    QProcess fernwick;
    start(&fernwick, Build(build), wd.path(),
          {QStringLiteral("--set-database"), wd.file(QStringLiteral("site.mdb")), QStringLiteral("--password-stdin")});
    QVERIFY(fernwick.waitForStarted());
    // It reads standard input only once its handlers are in place.
    QVERIFY(waitFor([&fernwick] { return readsStandardInput(fernwick.processId()); }));
    ::kill(pid_t(fernwick.processId()), SIGINT);
    const Run run = finished(fernwick, 30000);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QStringLiteral("fernwick.db: no password was read: the program was told to end; nothing was "
                                             "changed")),
             qPrintable(run.out.join(QLatin1Char('\n')) + run.err));
    QVERIFY(!QFile::exists(wd.file(QStringLiteral("fernwick.db"))));
}

// The window and the scheduled task, or two task runs, in one site at once; tst_once runs the
// Linux build so.
void WindowsTest::runsAtOnceKeepEveryLine()
{
    const QString wrong = syncAtOnce(executable(Build::Windows), unattended(), 2, wineRunMs);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

// Started from a terminal, Wine gives the program a console, as a command prompt does: a path
// in any script shows as it is, whatever the system's 8-bit code page could show.
void WindowsTest::consoleShowsPathsAsTheyAre()
{
    WorkingDir wd;
    const QString database = QStringLiteral("Z:\\巡更\\站点.mdb");
    QProcess terminal;
    terminal.setWorkingDirectory(wd.path());
    terminal.setProcessEnvironment(unattended());
    terminal.start(QStringLiteral("script"), {QStringLiteral("-qec"),
                                              executable(Build::Windows) + QStringLiteral(" --set-database '")
                                                  + database + QLatin1Char('\''),
                                              QStringLiteral("/dev/null")});
    terminal.closeWriteChannel();
    const Run run = finished(terminal, wineRunMs);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.join(QLatin1Char('\n')).contains(QStringLiteral("fernwick.db: the guard-tour database is ") + database),
             qPrintable(run.out.join(QLatin1Char('\n'))));
}

// Without one Windows takes the program for a legacy one and redirects its writes under Program
// Files to the user's VirtualStore.
void WindowsTest::carriesAnApplicationManifest()
{
    QProcess reader;
    reader.start(wine(), {qEnvironmentVariable("FERNWICK_WINDOWS_MANIFEST"),
                          windowsPath(qEnvironmentVariable("FERNWICK_WINDOWS_EXE"))});
    QVERIFY(reader.waitForFinished(wineRunMs));
    QCOMPARE(reader.exitCode(), 0);
    QXmlStreamReader manifest(reader.readAllStandardOutput());
    QString level;
    QStringList systems;
    while (!manifest.atEnd()) {
        if (manifest.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (manifest.name() == QLatin1String("requestedExecutionLevel"))
            level = manifest.attributes().value(QStringLiteral("level")).toString();
        if (manifest.name() == QLatin1String("supportedOS"))
            systems << manifest.attributes().value(QStringLiteral("Id")).toString();
    }
    QVERIFY2(!manifest.hasError(), qPrintable(manifest.errorString()));
    QCOMPARE(level, QStringLiteral("asInvoker"));
    // Windows 7, 8, 8.1 and 10 (11 too), as Microsoft's documentation of the manifest names them.
    QCOMPARE(systems, (QStringList{"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                                   "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}));
}

// Xvfb, Wine's window, xdotool's click and ImageMagick's screenshot, as a person would see it.
void WindowsTest::windowShowsEverythingAndSyncsAgain()
{
    for (const char *tool : {"Xvfb", "xdotool", "import"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    // Wine's desktop of a prefix belongs to the first display it was started with, and the
    // unattended runs had none: the window starts with Wine anew.
    output(qEnvironmentVariable("FERNWICK_WINESERVER"), {QStringLiteral("-k")});
    output(qEnvironmentVariable("FERNWICK_WINESERVER"), {QStringLiteral("-w")});
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                       QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                       QStringLiteral("tcp")});
    QVERIFY(waitFor([&xvfb] { return xvfb.canReadLine(); }, 30000));
    const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed());
    Site site;
    QVERIFY(site.generate(3));
    QProcess fernwick;
    start(&fernwick, Build::Windows, site.wd.path(), {}, display);
    QVERIFY(waitFor([&site] { return site.server.requestCount() == kinds.size(); }));

    auto xdotool = [&display](const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment environment = unattended(display);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("xdotool"), arguments);
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };
    QString window;
    QVERIFY(waitFor([&] {
        window = xdotool({"search", "--onlyvisible", "--name", "^KELDO-FERNWICK$"}).section(QLatin1Char('\n'), 0, 0);
        return !window.isEmpty();
    }));
    // 更新数据 lies at (60, 575) on the form, 75 x 23. The form of 800 x 622 fills the client
    // area, which Wine's frame surrounds: borders alike on three sides, the title bar on top.
    const QStringList size = xdotool({"getwindowgeometry", "--shell", window}).split(QLatin1Char('\n'));
    const int width = size.filter(QStringLiteral("WIDTH=")).value(0).section(QLatin1Char('='), 1).toInt();
    const int height = size.filter(QStringLiteral("HEIGHT=")).value(0).section(QLatin1Char('='), 1).toInt();
    const int border = (width - 800) / 2;
    const QPoint form(border, height - 622 - border);

    // The screenshot shows the first sync's answers, all three in, once the window has painted
    // its labels, its clock and its button, which an unpainted window shows in one colour.
    const QString screenshots = qEnvironmentVariable("FERNWICK_SCREENSHOTS", QDir::currentPath());
    const QString shot = screenshots + QStringLiteral("/windows-window.png");
    QVERIFY(waitFor([&site] {
        return dailyFiles(site.wd.path(), QStringLiteral("response*Data-*.txt")).count(QLatin1Char('\n')) == kinds.size();
    }));
    const QList<QRect> drawn = {{0, 30, 800, 25}, {0, 60, 800, 25}, {600, 575, 180, 21}, {60, 575, 75, 23}};
    QVERIFY2(waitFor([&] {
                 QProcess import;
                 import.setProcessEnvironment(unattended(display));
                 import.start(QStringLiteral("import"), {QStringLiteral("-window"), window, shot});
                 const QImage image = import.waitForFinished(30000) && import.exitCode() == 0 ? QImage(shot) : QImage();
                 return !image.isNull() && std::all_of(drawn.begin(), drawn.end(), [&](const QRect &widget) {
                     return colourCount(image.copy(widget.translated(form))) > 1;
                 });
             }),
             qPrintable(QStringLiteral("labels, clock or button not drawn; see %1").arg(shot)));

    // The log can be read while the program runs, as an editor or `type` reads it. Wine's
    // `type` shares the file only with readers, so it is refused while a line is being
    // written; the program holds the log only for its writes, so a later try reads it.
    const QString logName = QDir(site.wd.file(QStringLiteral("log"))).entryList({QStringLiteral("fernwicklog-*.txt")}).value(0);
    QString typedLog;
    QVERIFY2(waitFor([&] {
                 int typed = -1;
                 typedLog = output(wine(), {QStringLiteral("cmd"), QStringLiteral("/c"), QStringLiteral("type"),
                                            windowsPath(site.wd.file(QStringLiteral("log/") + logName))},
                                   &typed);
                 return typed == 0 && typedLog.contains(QStringLiteral("****** start ******"));
             }, 30000),
             qPrintable(typedLog.left(500)));

    site.server.holdReplies();
    xdotool({"mousemove", "--window", window, QString::number(form.x() + 97), QString::number(form.y() + 586),
             "click", "1"});
    QVERIFY2(waitFor([&site] { return site.server.requestCount() == 2 * kinds.size(); }, 30000),
             qPrintable(QStringLiteral("the button did not sync again; see %1").arg(shot)));

    // The end of the session ends the program as closing its window does, with every line and
    // answer kept. Windows ends it 5 s later, so the posts get 3 s of them; Wine, though, tells
    // the toolkit's window of it at times as of a close, which keeps the 10 s, so either is
    // taken here.
    QProcess endSession;
    endSession.setProcessEnvironment(unattended(display));
    endSession.start(wine(), {QStringLiteral("wineboot"), QStringLiteral("--end-session")});
    QVERIFY2(waitFor([&site] {
                 return dailyFiles(site.wd.path(), QStringLiteral("fernwicklog-*.txt"))
                     .contains(QStringLiteral("exit: posts in flight: 3; waiting up to "));
             }),
             qPrintable(dailyFiles(site.wd.path(), QStringLiteral("fernwicklog-*.txt")).right(600)));
    site.server.releaseReplies();
    QVERIFY(fernwick.waitForFinished(60000));
    endSession.waitForFinished(60000);
    for (const QString &kind : {QStringLiteral("Point"), QStringLiteral("Line"), QStringLiteral("Plan")})
        QCOMPARE(dailyFiles(site.wd.path(), QStringLiteral("response%1Data-*.txt").arg(kind)).count(QLatin1Char('\n')), 2);
    xvfb.terminate();
    xvfb.waitForFinished();
}

// The installer, silent, into the test's own prefix: a site that exists keeps its files.
void WindowsTest::installsRunsAndUninstalls()
{
    const QString setup = qEnvironmentVariable("FERNWICK_WINDOWS_SETUP");
    if (setup.isEmpty())
        QSKIP("no installer named: make test-windows names it for the 32-bit build");
    const QString driveC = qEnvironmentVariable("WINEPREFIX") + QStringLiteral("/drive_c");
    const QString program = driveC + QStringLiteral("/Program Files/KELDO-FERNWICK");
    const QString siteFolder = driveC + QStringLiteral("/ProgramData/巡更站点");
    const QString task = driveC + QStringLiteral("/windows/system32/tasks/KELDO-FERNWICK sync");
    const QString shortcut = driveC + QStringLiteral("/ProgramData/Microsoft/Windows/Start Menu/Programs/KELDO-FERNWICK.lnk");
    // The site folder of an earlier run is the test's own.
    QDir(siteFolder).removeRecursively();
    int status = -1;
    output(wine(), {QStringLiteral("net"), QStringLiteral("start"), QStringLiteral("Schedule")}, &status);

    const QString siteOption = QStringLiteral("/SITE=C:\\ProgramData\\巡更站点");
    QString said = output(wine(), {setup, QStringLiteral("/S"), QStringLiteral("/TASK"), siteOption}, &status);
    QVERIFY2(status == 0, qPrintable(said));
    output(qEnvironmentVariable("FERNWICK_WINESERVER"), {QStringLiteral("-w")});
    for (const QString &file : {program + QStringLiteral("/fernwick.exe"), program + QStringLiteral("/platforms/qwindows.dll"),
                                siteFolder + QStringLiteral("/sys.ini"), task, shortcut})
        QVERIFY2(QFile::exists(file), qPrintable(file));
    QVERIFY(readAll(task).contains("--once"));

    // The site as an installer sets it up; installing again leaves it as it is.
    Site site;
    QVERIFY(site.generate(3));
    QVERIFY(QFile::remove(siteFolder + QStringLiteral("/sys.ini")));
    QVERIFY(QFile::copy(site.wd.file(QStringLiteral("sys.ini")), siteFolder + QStringLiteral("/sys.ini")));
    QVERIFY(QFile::copy(site.wd.file(QStringLiteral("fernwick.db")), siteFolder + QStringLiteral("/fernwick.db")));
    said = output(wine(), {setup, QStringLiteral("/S"), siteOption}, &status);
    QVERIFY2(status == 0, qPrintable(said));
    output(qEnvironmentVariable("FERNWICK_WINESERVER"), {QStringLiteral("-w")});
    QCOMPARE(readAll(siteFolder + QStringLiteral("/sys.ini")), readAll(site.wd.file(QStringLiteral("sys.ini"))));

    QProcess installed;
    installed.setWorkingDirectory(siteFolder);
    QProcessEnvironment environment = unattended();
    environment.insert(QStringLiteral("ODBCSYSINI"), qEnvironmentVariable("FERNWICK_WINDOWS_ODBCSYSINI"));
    installed.setProcessEnvironment(environment);
    installed.start(wine(), {program + QStringLiteral("/fernwick.exe"), QStringLiteral("--once")});
    const Run run = finished(installed, wineRunMs);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out.join(QLatin1Char('\n')) + run.err));
    QCOMPARE(site.server.requestCount(), kinds.size());

    // As a management agent uninstalls: with the command the uninstall entry gives for it.
    const QString entry = output(wine(), {QStringLiteral("reg"), QStringLiteral("query"), uninstallKey, QStringLiteral("/v"),
                                          QStringLiteral("QuietUninstallString")});
    const QRegularExpressionMatch quiet = QRegularExpression(QStringLiteral("REG_SZ\\s+\"([^\"]+)\" (\\S+)")).match(entry);
    QVERIFY2(quiet.hasMatch(), qPrintable(entry));
    said = output(wine(), {quiet.captured(1), quiet.captured(2)}, &status);
    output(qEnvironmentVariable("FERNWICK_WINESERVER"), {QStringLiteral("-w")});
    for (const QString &gone : {program, task, shortcut})
        QVERIFY2(!QFile::exists(gone), qPrintable(gone + said));
    for (const QString &kept : {QStringLiteral("sys.ini"), QStringLiteral("fernwick.db"), QStringLiteral("log")})
        QVERIFY2(QFile::exists(siteFolder + QLatin1Char('/') + kept), qPrintable(kept));
}

// Each row installs silently with its options, then reads one file of the prefix, or the
// uninstall entry as `reg query` shows it, and expects the pattern in it.
void WindowsTest::installerAsAnAdministratorJudgesIt_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("pattern");
    const QString site = QStringLiteral("/SITE=C:\\site");
    const QString installLog = QStringLiteral("Program Files/KELDO-FERNWICK/install.log");
    // Wine puts an argument with a space in quotes whole, as PowerShell does: "/SITE=C:\a b".
    QTest::newRow("a site token quoted whole") << QStringList{"/SITE=C:\\a b"} << "a b/sys.ini" << "\\[General\\]";
    QTest::newRow("the sys.ini template in CR LF") << QStringList{site} << "site/sys.ini"
                                                   << "^; [^\r\n]*\r\n(;[^\r\n]*\r\n)*\\[General\\]\r\nPOINT_HTTPURL=";
    QTest::newRow("the site's users may change the site folder")
        << QStringList{site} << installLog
        << QRegularExpression::escape("> icacls \"C:\\site\" /grant \"*S-1-5-32-545:(OI)(CI)M\"\r\n") + "[\\s\\S]*?exit status 0\r\n";
    QTest::newRow("a group of users given") << QStringList{site, "/USERS=PATROL\\Guards"} << installLog
                                            << QRegularExpression::escape("/grant \"PATROL\\Guards:(OI)(CI)M\"");
    QTest::newRow("the task ticked by default") << QStringList{site} << "windows/system32/tasks/KELDO-FERNWICK sync" << "--once";
    QString lgpl = QString::fromUtf8(readAll(QStringLiteral("/usr/share/common-licenses/LGPL-3")));
    QTest::newRow("the licences beside the program") << QStringList{site} << "Program Files/KELDO-FERNWICK/LICENSES.txt"
                                                     << QRegularExpression::escape(lgpl.replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
    QTest::newRow("the uninstall entry")
        << QStringList{site} << "registry"
        << "(?=[\\s\\S]*Publisher\\s+REG_SZ\\s+KELDO-FERNWICK\\s)"
           "(?=[\\s\\S]*InstallLocation\\s+REG_SZ\\s+C:\\\\Program Files\\\\KELDO-FERNWICK\\s)"
           "(?=[\\s\\S]*QuietUninstallString\\s+REG_SZ\\s+\"C:\\\\Program Files\\\\KELDO-FERNWICK\\\\uninstall.exe\" /S\\s)"
           "(?=[\\s\\S]*EstimatedSize\\s+REG_DWORD\\s+0x0*[1-9a-f])";
}

void WindowsTest::installerAsAnAdministratorJudgesIt()
{
    QFETCH(QStringList, options);
    QFETCH(QString, place);
    QFETCH(QString, pattern);
    const QString setup = qEnvironmentVariable("FERNWICK_WINDOWS_SETUP");
    if (setup.isEmpty())
        QSKIP("no installer named: make test-windows names it for the 32-bit build");
    const QString driveC = qEnvironmentVariable("WINEPREFIX") + QStringLiteral("/drive_c");
    // Each row installs afresh: no program, task or uninstall entry of an earlier install.
    const QString uninstaller = driveC + QStringLiteral("/Program Files/KELDO-FERNWICK/uninstall.exe");
    if (QFile::exists(uninstaller))
        output(wine(), {uninstaller, QStringLiteral("/S")});
    output(qEnvironmentVariable("FERNWICK_WINESERVER"), {QStringLiteral("-w")});
    for (const QString &site : {QStringLiteral("/site"), QStringLiteral("/a b")})
        QDir(driveC + site).removeRecursively();

    int status = -1;
    output(wine(), {QStringLiteral("net"), QStringLiteral("start"), QStringLiteral("Schedule")});
    const QString said = output(wine(), QStringList{setup, QStringLiteral("/S")} + options, &status);
    output(qEnvironmentVariable("FERNWICK_WINESERVER"), {QStringLiteral("-w")});
    QVERIFY2(status == 0, qPrintable(said));
    const QString text = place == QLatin1String("registry")
        ? output(wine(), {QStringLiteral("reg"), QStringLiteral("query"), uninstallKey})
        : readText(driveC + QLatin1Char('/') + place);
    QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(place + QStringLiteral(":\n") + text.left(2000)));
}

// make package-windows signs through sign.sh; the certificate is the test's own.
void WindowsTest::signsWhenACertificateIsGiven_data()
{
    QTest::addColumn<bool>("certificateGiven");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("signature");
    QTest::newRow("a certificate and its password") << true << "secret" << 0 << "signed " << true;
    QTest::newRow("no certificate") << false << "" << 0 << "not signed, since no SIGN_PKCS12 is given: " << false;
    QTest::newRow("a wrong password") << true << "wrong" << 1 << "could not be signed" << false;
}

void WindowsTest::signsWhenACertificateIsGiven()
{
    QFETCH(bool, certificateGiven);
    QFETCH(QString, password);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(bool, signature);
    if (QStandardPaths::findExecutable(QStringLiteral("osslsigncode")).isEmpty())
        QSKIP("osslsigncode is not installed");
    QTemporaryDir dir;
    const QString certificate = dir.filePath(QStringLiteral("signer.pem"));
    const QString pkcs12 = dir.filePath(QStringLiteral("signer.p12"));
    const QString passwordFile = dir.filePath(QStringLiteral("password"));
    int status = -1;
    QString made = output(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=fernwick test signer",
                                                      "-addext", "extendedKeyUsage=codeSigning", "-keyout", dir.filePath("signer.key"), "-out", certificate}, &status);
    QVERIFY2(status == 0, qPrintable(made));
    made = output(QStringLiteral("openssl"), {"pkcs12", "-export", "-inkey", dir.filePath("signer.key"), "-in", certificate,
                                              "-passout", "pass:secret", "-out", pkcs12}, &status);
    QVERIFY2(status == 0, qPrintable(made));
    QFile file(passwordFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(password.toUtf8() + '\n');
    file.close();
    const QString exe = dir.filePath(QStringLiteral("fernwick.exe"));
    QVERIFY(QFile::copy(qEnvironmentVariable("FERNWICK_WINDOWS_EXE"), exe));

    const QString told = output(qEnvironmentVariable("FERNWICK_WINDOWS_SIGN"),
                                {certificateGiven ? pkcs12 : QString(), passwordFile, exe}, &status);
    QVERIFY2(status == exitCode && told.contains(said), qPrintable(told));
    const QString verified = output(QStringLiteral("osslsigncode"), {"verify", "-CAfile", certificate, "-in", exe}, &status);
    QVERIFY2((status == 0) == signature, qPrintable(verified));
    if (!signature)
        QCOMPARE(readAll(exe), readAll(qEnvironmentVariable("FERNWICK_WINDOWS_EXE")));
}

QTEST_GUILESS_MAIN(WindowsTest)
#include "tst_windows.moc"
