// fernwick-receiver: a small HTTP endpoint that accepts the bodies the sync
// client posts, checks their shape and keeps each accepted one as a file.

#include "bodystore.h"
#include "receiverserver.h"
#include "recordkinds.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSaveFile>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <unistd.h>

namespace {

struct Options {
    QString host;
    int port = 0;
    QString storeDirectory;
    QString portFile;
};

QString keyListing()
{
    QString listing;
    for (const RecordKind &kind : recordKinds())
        listing += QStringLiteral("  /%1: %2\n").arg(kind.name, kind.keys.join(QStringLiteral(", ")));
    return listing;
}

QString description()
{
    return QStringLiteral(
               "Receives the bodies the guard-tour sync client posts and stores each accepted one.\n"
               "\n"
               "Accepts POST on /point, /line, /plan and /planstatus with the raw body\n"
               "key=<JSON array>, taken byte for byte (not url-decoded, content type ignored).\n"
               "The array holds objects whose values are all JSON strings; each object must\n"
               "carry exactly its kind's keys, no more and no fewer:\n"
               "%1"
               "An accepted body is stored unchanged as <store>/<kind>-yyyyMMdd-HHmmss-zzz-NNNNNN.txt\n"
               "and answered 200 {\"ok\":true,\"kind\":\"<kind>\",\"count\":<records>}. A malformed body\n"
               "is answered 400 {\"ok\":false,\"error\":\"<reason>\"} and not stored; an unknown path\n"
               "gets 404, another method 405.\n"
               "\n"
               "Prints \"listening on HOST:PORT\" as its first line on stdout, one line per request\n"
               "on stderr, and stops cleanly on SIGINT or SIGTERM.")
        .arg(keyListing());
}

void failStart(const QString &message)
{
    std::fprintf(stderr, "fernwick-receiver: %s\n", qPrintable(message));
    std::exit(2);
}

Options parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"),
                                  QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                  QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on; 0 picks a free one (default 8080)."),
                                  QStringLiteral("port"), QStringLiteral("8080"));
    const QCommandLineOption store(QStringLiteral("store"),
                                   QStringLiteral("Directory for accepted bodies, created when missing "
                                                  "(default ./received)."),
                                   QStringLiteral("dir"), QStringLiteral("received"));
    const QCommandLineOption portFile(QStringLiteral("port-file"),
                                      QStringLiteral("Also write the port listened on to this file."),
                                      QStringLiteral("file"));
    parser.addOptions({host, port, store, portFile});
    // process() would exit with 1 on an unknown option; a usage error is 2 here, as for
    // every other bad option.
    if (!parser.parse(app.arguments()))
        failStart(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        failStart(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    Options options;
    options.host = parser.value(host);
    bool portIsNumber = false;
    options.port = parser.value(port).toInt(&portIsNumber);
    if (!portIsNumber || options.port < 0 || options.port > 65535)
        failStart(QStringLiteral("--port wants a number from 0 to 65535, not %1").arg(parser.value(port)));
    options.storeDirectory = parser.value(store);
    options.portFile = parser.value(portFile);
    return options;
}

// Written whole or not at all, so a script polling for the file never reads half a number.
bool writePortFile(const QString &path, int port)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(port) + '\n') > 0
        && file.commit();
}

QString hostForDisplay(const QString &host)
{
    return host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
}

sigset_t stopSignals()
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    return stopSet;
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before any thread exists, so every thread inherits the mask and
    // SIGINT and SIGTERM are only ever taken by the sigwait below.
    const sigset_t stopSet = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fernwick-receiver"));
    const Options options = parseOptions(app);

    BodyStore store(options.storeDirectory);
    QString storeError;
    if (!store.prepare(&storeError))
        failStart(storeError);

    ReceiverServer server(store);
    server.setRequestLog([](const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    std::atomic<bool> endedUnexpectedly{false};
    server.setUnexpectedEndHandler([&endedUnexpectedly] {
        endedUnexpectedly = true;
        kill(getpid(), SIGTERM);
    });
    const int port = server.start(options.host.toStdString(), options.port);
    if (port < 0)
        failStart(QStringLiteral("cannot listen on %1:%2").arg(options.host).arg(options.port));
    if (!options.portFile.isEmpty() && !writePortFile(options.portFile, port)) {
        server.stop();
        failStart(QStringLiteral("cannot write port file %1").arg(options.portFile));
    }
    std::printf("listening on %s:%d\n", qPrintable(hostForDisplay(options.host)), port);
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSet, &received);
    server.stop();
    return endedUnexpectedly ? 1 : 0;
}
