#include "app/sitesetup.h"

#include "app/mainwindow.h"
#include "app/odbcdrivers.h"
#include "app/printline.h"
#include "app/processsetup.h"
#include "logging/logline.h"
#include "logging/logthread.h"
#include "store/configrecord.h"
#include "store/recordkind.h"
#include "upload/endpointsetting.h"
#include "upload/postlimits.h"
#include "upload/proxysetting.h"
#include "upload/tlssetting.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSslSocket>
#include <QStringList>
#include <QTextCodec>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <memory>

namespace {
const QString accessConnection = QStringLiteral("GuardTour_DB_check");
constexpr int utf8Mib = 106;
// HTTP_TIMEOUT_SECONDS=0 lets a post wait for ever; a step of the check, which someone sits
// and waits for, gives up after this.
constexpr int unlimitedStepSeconds = 30;

enum class InputLine { Read, Ended, Interrupted };

// The first line of standard input, without its line end. It is read a byte at a time, each
// byte only once it has come, so that the program told to end ends the wait at any point.
InputLine readFirstLine(QByteArray *line)
{
    char byte = 0;
    for (;;) {
        const InputByte read = readStandardInputByte(&byte);
        if (read == InputByte::Interrupted)
            return InputLine::Interrupted;
        if (read == InputByte::Ended) {
            if (line->isEmpty())
                return InputLine::Ended;
            break;
        }
        if (byte == '\n')
            break;
        line->append(byte);
    }
    while (line->endsWith('\r'))
        line->chop(1);
    return InputLine::Read;
}

// The password as typed, or why it is refused: only what a connection string carries as it
// was typed is stored.
bool passwordText(const QByteArray &line, QString *password, QString *refusal)
{
    if (line.contains('\0')) {
        *refusal = QStringLiteral("the password on standard input holds a NUL byte, which the guard-tour "
                                  "database's connection cannot carry");
        return false;
    }
    // A byte-order mark at the start is part of what was typed, not a header to drop.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    *password = QTextCodec::codecForMib(utf8Mib)->toUnicode(line.constData(), line.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0) {
        *refusal = QStringLiteral("the password on standard input is not UTF-8 text (a terminal in another "
                                  "encoding?); convert it first, as with iconv -t UTF-8");
        return false;
    }
    return true;
}

// The password from the first line of standard input; an empty line is an empty password.
bool readPassword(QString *password, QString *refusal)
{
    QByteArray line;
    switch (readFirstLine(&line)) {
    case InputLine::Ended:
        *refusal = QStringLiteral("no password was read: standard input ended before its first line");
        return false;
    case InputLine::Interrupted:
        *refusal = QStringLiteral("no password was read: the program was told to end");
        return false;
    case InputLine::Read:
        break;
    }
    if (!passwordText(line, password, refusal))
        return false;
    if (password->isNull())
        *password = QStringLiteral("");
    return true;
}

// One step of the check waits in the event loop until it is done, its limit has passed, or
// the program is told to end: the toolkit then quits every event loop, with 0, and starts
// none after it, answering -1.
class StepWait : public QObject
{
public:
    enum class End { Done, TimedOut, Interrupted };

    explicit StepWait(std::function<bool()> isDone)
        : isDone(std::move(isDone))
    {
    }
    template <typename Sender, typename Signal>
    void wakeOn(const Sender *sender, Signal signal)
    {
        QObject::connect(sender, signal, this, [this] { wake(); });
    }
    void wake()
    {
        if (isDone())
            loop.exit(doneCode);
    }
    End run(int limitMs)
    {
        if (isDone())
            return End::Done;
        QTimer::singleShot(limitMs, this, [this] { loop.exit(timedOutCode); });
        switch (loop.exec()) {
        case doneCode:
            return End::Done;
        case timedOutCode:
            return End::TimedOut;
        default:
            return End::Interrupted;
        }
    }

private:
    static constexpr int doneCode = 1;
    static constexpr int timedOutCode = 2;
    std::function<bool()> isDone;
    QEventLoop loop;
};

const QList<const RecordKind *> &postedKinds()
{
    static const QList<const RecordKind *> kinds = {&RecordKind::checkpoints(), &RecordKind::routeStops(),
                                                    &RecordKind::plans()};
    return kinds;
}

// Runs the steps and counts those that failed; each step says what it found in one line.
class SiteCheck
{
public:
    int run();

private:
    void pass(const QString &line) { printLine(stdout, line); }
    void fail(const QString &line)
    {
        printLine(stdout, line);
        ++failures;
    }

    void checkSiteFolder();
    void checkDatabase();
    bool openAccessDb(QSqlDatabase *db, const ConfigRecord::Values &config);
    void countRows(const QSqlDatabase &db, const RecordKind &kind);
    void checkEndpoint(const QSettings &settings, const QString &key, const TlsSetting &tls);
    bool resolve(const QString &key, const QString &host, const QString &named, int limitSeconds);
    void connectTo(const QString &key, const QUrl &url, const TlsSetting &tls, const QNetworkProxy &proxy,
                   int limitSeconds);
    bool waited(StepWait::End end, const QString &failure, int limitSeconds);

    int failures = 0;
    bool interrupted = false;
};

int SiteCheck::run()
{
    checkSiteFolder();
    checkDatabase();
    const QSettings settings(QStringLiteral("sys.ini"), QSettings::IniFormat);
    const TlsSetting tls = readTlsSetting(settings);
    if (!tls.refusal.isEmpty())
        fail(QStringLiteral("CA_CERTIFICATES: ") + tls.refusal);
    else if (!tls.siteAuthorities.isEmpty())
        pass(QStringLiteral("CA_CERTIFICATES: read"));
    for (const RecordKind *kind : postedKinds()) {
        checkEndpoint(settings, kind->settingsKey, tls);
        if (interrupted)
            break;
    }
    if (interrupted)
        printLine(stdout, QStringLiteral("check: interrupted, so not every step was checked; %1 of those done failed")
                      .arg(failures));
    else if (failures == 0)
        printLine(stdout, QStringLiteral("check: everything would work"));
    else
        printLine(stdout, QStringLiteral("check: %1 of the steps above failed").arg(failures));
    return failures == 0 && !interrupted ? 0 : 1;
}

// The window runs as the user who is logged on, a scheduled run as its own account: what one
// of them made, the other may not be allowed to change, and would then lose its snapshot and
// its lines. What is not there yet is made in a folder that can be written.
void SiteCheck::checkSiteFolder()
{
    const QDate today = LocalClock::now().date();
    QStringList files = {QStringLiteral("fernwick.db"), dailyFileName(LogThread::filePattern(), today)};
    for (const RecordKind *kind : postedKinds())
        files << dailyFileName(kind->responsePattern, today);
    const QString account = accountName();
    const QString cannot = QStringLiteral("site folder: the account it runs as (%1) cannot write %2 (%3); give that "
                                          "account modify rights on the site folder and everything in it");
    bool writable = true;
    auto check = [&](const QString &path, bool isFolder, const QString &named) {
        const QString why = whyNotWritable(path, isFolder);
        if (!why.isEmpty())
            fail(cannot.arg(account, named, why));
        writable = writable && why.isEmpty();
    };
    check(QStringLiteral("."), true, QStringLiteral("in the site folder itself"));
    if (QFileInfo(QStringLiteral("log")).isDir())
        check(QStringLiteral("log"), true, QStringLiteral("in log/"));
    for (const QString &file : qAsConst(files)) {
        if (QFileInfo::exists(file))
            check(file, false, QStringLiteral("to ") + file);
    }
    if (writable)
        pass(QStringLiteral("site folder: the account it runs as (%1) may write in it and to its files").arg(account));
}

void SiteCheck::checkDatabase()
{
    ConfigRecord::Values config;
    QString error;
    if (!ConfigRecord::read(&config, &error)) {
        fail(QStringLiteral("fernwick.db: ") + error + QStringLiteral("; 'fernwick --set-database PATH' sets it up"));
        return;
    }
    if (config.fromFile)
        pass(QStringLiteral("fernwick.db: the guard-tour database is ") + config.path);
    else
        pass(QStringLiteral("fernwick.db: no configuration row, so the built-in one is used: ") + config.path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), accessConnection);
        if (openAccessDb(&db, config)) {
            pass(QStringLiteral("guard-tour database: opened"));
            for (const RecordKind *kind : postedKinds())
                countRows(db, *kind);
            db.close();
        } else {
            fail(QStringLiteral("guard-tour database: cannot be opened: ") + db.lastError().text());
        }
    }
    QSqlDatabase::removeDatabase(accessConnection);
}

// Under the 64-bit engine's name too, as the sync does, when the usual name is not installed.
bool SiteCheck::openAccessDb(QSqlDatabase *db, const ConfigRecord::Values &config)
{
    db->setDatabaseName(accessConnectionString(config.path, config.password, jetDriverName));
    if (db->open())
        return true;
    if (odbcDriverInstalled(jetDriverName))
        return false;
    db->setDatabaseName(accessConnectionString(config.path, config.password, aceDriverName));
    pass(QStringLiteral("guard-tour database: driver ") + aceDriverName);
    return db->open();
}

void SiteCheck::countRows(const QSqlDatabase &db, const RecordKind &kind)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    int rows = 0;
    bool complete = query.exec(kind.query);
    while (complete && query.next())
        ++rows;
    complete = complete && !query.lastError().isValid();
    if (complete)
        pass(QStringLiteral("%1: %2 rows read").arg(kind.word).arg(rows));
    else
        fail(kind.word + QStringLiteral(": read failed: ") + query.lastError().text());
}

void SiteCheck::checkEndpoint(const QSettings &settings, const QString &key, const TlsSetting &tls)
{
    const Endpoint endpoint = readEndpoint(settings, key);
    if (!endpoint.refusal.isEmpty()) {
        fail(key + QStringLiteral(": ") + endpoint.refusal);
        return;
    }
    if (endpoint.url.isEmpty()) {
        fail(key + QStringLiteral(": not set in sys.ini"));
        return;
    }
    const QUrl url(endpoint.url, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        fail(key + QStringLiteral(": ") + endpoint.url + QStringLiteral(" is not an http or https URL"));
        return;
    }
    const ProxySetting proxy = readProxySetting(settings, url);
    if (!proxy.refusal.isEmpty()) {
        fail(key + QStringLiteral(": ") + proxy.refusal);
        return;
    }
    const int timeoutSeconds = readInactivityTimeoutSeconds(settings);
    const int limitSeconds = timeoutSeconds > 0 ? timeoutSeconds : unlimitedStepSeconds;
    // Through a proxy, the proxy looks the server up; what this machine must find is the proxy.
    const bool viaProxy = proxy.proxy.type() != QNetworkProxy::NoProxy;
    const QString host = viaProxy ? proxy.proxy.hostName() : url.host();
    if (resolve(key, host, viaProxy ? QStringLiteral("the proxy ") + host : host, limitSeconds))
        connectTo(key, url, tls, proxy.proxy, limitSeconds);
}

bool SiteCheck::resolve(const QString &key, const QString &host, const QString &named, int limitSeconds)
{
    QHostInfo found;
    bool answered = false;
    StepWait wait([&answered] { return answered; });
    const int lookup = QHostInfo::lookupHost(host, &wait, [&](const QHostInfo &info) {
        found = info;
        answered = true;
        wait.wake();
    });
    const StepWait::End end = wait.run(PostLimits::idleLimitMs(limitSeconds));
    if (end != StepWait::End::Done)
        QHostInfo::abortHostLookup(lookup);
    const QString failure = QStringLiteral("%1: %2 cannot be resolved: ").arg(key, named);
    if (!waited(end, failure, limitSeconds))
        return false;
    if (found.error() != QHostInfo::NoError || found.addresses().isEmpty()) {
        fail(failure + found.errorString());
        return false;
    }
    pass(QStringLiteral("%1: %2 resolved to %3").arg(key, named, found.addresses().first().toString()));
    return true;
}

// As the post goes: an http:// one to an HTTP proxy itself, anything else through a tunnel
// the proxy opens.
void SiteCheck::connectTo(const QString &key, const QUrl &url, const TlsSetting &tls, const QNetworkProxy &proxy,
                          int limitSeconds)
{
    const bool secure = url.scheme().toLower() == QLatin1String("https");
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    QString address = hostAsInUrl(url.host()) + QLatin1Char(':') + QString::number(port);
    const QString proxyAddress = hostAsInUrl(proxy.hostName()) + QLatin1Char(':') + QString::number(proxy.port());
    const bool toProxyItself = !secure && proxy.type() == QNetworkProxy::HttpProxy;
    if (toProxyItself)
        address = QStringLiteral("the proxy %1 for %2").arg(proxyAddress, address);
    else if (proxy.type() != QNetworkProxy::NoProxy)
        address += QStringLiteral(" through the proxy ") + proxyAddress;
    QSslSocket socket;
    socket.setProxy(toProxyItself ? QNetworkProxy(QNetworkProxy::NoProxy) : proxy);
    socket.setSslConfiguration(tls.configuration());
    QString certificateErrors;
    QObject::connect(&socket, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors),
                     [&certificateErrors](const QList<QSslError> &errors) {
                         certificateErrors = certificateErrorsText(errors);
                     });
    const int limitMs = PostLimits::idleLimitMs(limitSeconds);
    // A connection attempt ends connected or, having failed, unconnected again.
    StepWait connection([&socket] {
        return socket.state() == QAbstractSocket::ConnectedState || socket.state() == QAbstractSocket::UnconnectedState;
    });
    connection.wakeOn(&socket, &QAbstractSocket::stateChanged);
    if (toProxyItself)
        socket.connectToHost(proxy.hostName(), proxy.port());
    else
        socket.connectToHost(url.host(), port);
    const QString notConnected = QStringLiteral("%1: cannot connect to %2: ").arg(key, address);
    if (!waited(connection.run(limitMs), notConnected, limitSeconds))
        return;
    if (socket.state() != QAbstractSocket::ConnectedState) {
        fail(notConnected + socket.errorString());
        return;
    }
    pass(QStringLiteral("%1: connected to %2").arg(key, address));
    if (!secure)
        return;
    StepWait handshake([&socket] {
        return socket.isEncrypted() || socket.state() == QAbstractSocket::UnconnectedState;
    });
    handshake.wakeOn(&socket, &QSslSocket::encrypted);
    handshake.wakeOn(&socket, &QAbstractSocket::stateChanged);
    socket.startClientEncryption();
    const QString noHandshake = QStringLiteral("%1: TLS handshake with %2 failed: ").arg(key, address);
    if (!waited(handshake.run(limitMs), noHandshake, limitSeconds))
        return;
    if (!socket.isEncrypted()) {
        fail(noHandshake + (certificateErrors.isEmpty() ? socket.errorString() : certificateErrors));
        return;
    }
    pass(QStringLiteral("%1: TLS handshake with %2 completed").arg(key, address));
    socket.disconnectFromHost();
}

// Whether the step came to an end of its own, for its outcome to be told; a step that ran out
// of time has failed, one the program was told to end during ends the check.
bool SiteCheck::waited(StepWait::End end, const QString &failure, int limitSeconds)
{
    if (end == StepWait::End::TimedOut)
        fail(failure + QStringLiteral("no answer within %1 s").arg(limitSeconds));
    if (end == StepWait::End::Interrupted)
        interrupted = true;
    return end == StepWait::End::Done;
}
}

int setDatabase(const QString &path, bool passwordFromStdin)
{
    QString password;
    QString error;
    if (passwordFromStdin && !readPassword(&password, &error)) {
        printLine(stdout, QStringLiteral("fernwick.db: %1; nothing was changed").arg(error));
        return 1;
    }
    bool created = false;
    if (!ConfigRecord::write(path, password, &created, &error)) {
        printLine(stdout, error);
        return 1;
    }
    QStringList said;
    if (created)
        said << QStringLiteral("fernwick.db: configuration made");
    said << QStringLiteral("fernwick.db: the guard-tour database is ") + path;
    said << (passwordFromStdin ? QStringLiteral("fernwick.db: password set from standard input")
                               : QStringLiteral("fernwick.db: password unchanged"));
    for (const QString &line : said)
        printLine(stdout, line);
    return 0;
}

int checkSite()
{
    return SiteCheck().run();
}
