#include "app/commandline.h"

#include "app/mainwindow.h"
#include "app/printline.h"
#include "app/sitesetup.h"
#include "app/syncoutcome.h"
#include "logging/dailyfilequeue.h"

#include <QApplication>
#include <QCommandLineParser>

#include <algorithm>
#include <cstdio>

namespace {
enum ExitCode { Synced = 0, SyncIncomplete = 1, UsageError = 2 };

const QString onceName = QStringLiteral("once");
const QString checkName = QStringLiteral("check");
const QString setDatabaseName = QStringLiteral("set-database");
const QString passwordStdinName = QStringLiteral("password-stdin");

void describeOptions(QCommandLineParser *parser)
{
    parser->setApplicationDescription(
        QStringLiteral("Keeps the patrol server in step with the guard-tour database. Without options it "
                       "opens its window; it works in the current directory (sys.ini, fernwick.db, log/)."));
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addOption(QCommandLineOption(onceName,
        QStringLiteral("Run one sync without a window, wait for the server's answers, print one line per "
                       "kind and exit: 0 when every kind was read and answered, 1 otherwise.")));
    parser->addOption(QCommandLineOption(checkName,
        QStringLiteral("Check everything short of posting (fernwick.db, the guard-tour database and its rows, "
                       "each URL's host, connection and TLS handshake), one line per step; write nothing. "
                       "Exit 0 when a sync would work, 1 otherwise.")));
    parser->addOption(QCommandLineOption(setDatabaseName,
        QStringLiteral("Point fernwick.db at the guard-tour database <path>, making fernwick.db when it is not "
                       "there yet."),
        QStringLiteral("path")));
    parser->addOption(QCommandLineOption(passwordStdinName,
        QStringLiteral("With --set-database: read the guard-tour database's password from the first line of "
                       "standard input.")));
}

bool asksForText(const QCommandLineParser &parser)
{
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))
        || parser.isSet(QStringLiteral("version"));
}

// The options the toolkit takes for itself (QGuiApplication's, QApplication's and those of
// the X11 platform); given alone, they ask for the window.
const QStringList &toolkitOptionNames()
{
    static const QStringList names = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "reverse", "session", "style", "stylesheet", "widgetcount",
        "display", "geometry", "name", "title", "visual", "ncols", "cmap", "im", "inputstyle",
        "nograb", "dograb", "sync"};
    return names;
}

bool isToolkitOption(const QString &name)
{
    return toolkitOptionNames().contains(name);
}

// Printed, never shown in a message box as the toolkit does on Windows when the program has
// no console of its own: a management agent, a remote shell or a pipe would wait for its OK.
int printHelpOrVersion(const QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("version")))
        printLine(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
    else
        printText(stdout, parser.helpText());
    if (parser.isSet(QStringLiteral("help-all")))
        printLine(stdout, QStringLiteral("\nThe toolkit's own options, which open the window: -")
                              + toolkitOptionNames().join(QStringLiteral(", -")));
    return Synced;
}

int usageError(const QString &message)
{
    printLine(stderr, message + QStringLiteral("\nTry '--help' for the options."));
    return UsageError;
}

// The window is asked for by no arguments at all, or by the toolkit's options alone; anything
// else is the program's own business, a usage error included, and needs no display.
bool asksForWindow(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return true;
    QCommandLineParser parser;
    describeOptions(&parser);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.parse(arguments);
    const QStringList unknown = parser.unknownOptionNames();
    return !parser.isSet(onceName) && !parser.isSet(checkName) && !parser.isSet(setDatabaseName)
        && !parser.isSet(passwordStdinName) && !asksForText(parser) && !unknown.isEmpty()
        && std::all_of(unknown.begin(), unknown.end(), isToolkitOption);
}

QString countText(int count, const QString &one, const QString &many)
{
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? one : many);
}

QString rowsText(int rows)
{
    return countText(rows, QStringLiteral("row"), QStringLiteral("rows"));
}

QString linesText(int lines)
{
    return countText(lines, QStringLiteral("line"), QStringLiteral("lines"));
}

QString outcomeLine(const KindOutcome &outcome)
{
    if (!outcome.read)
        return outcome.word + QStringLiteral(": skipped, read failed: ") + outcome.error;
    if (outcome.post == KindOutcome::Post::NotPosted)
        return outcome.word + QStringLiteral(": ") + rowsText(outcome.rows) + QStringLiteral(" read, not posted: ")
            + outcome.error;
    const QString posted = outcome.word + QStringLiteral(": ") + rowsText(outcome.rows) + QStringLiteral(" posted, ");
    if (outcome.post == KindOutcome::Post::Answered)
        return posted + QStringLiteral("answered");
    return posted + QStringLiteral("failed: ") + outcome.error;
}

// The window's own start-up sync runs in its constructor; the window is never shown. A
// termination signal ends the wait early; the window, ending, gives its posts the usual
// grace and then abandons them, and the lines tell how each ended.
int syncOnce(QApplication &app)
{
    QVector<KindOutcome> outcomes;
    QStringList logsNotRemoved;
    {
        MainWindow window;
        const SyncOutcome *run = window.outcome();
        outcomes = run->kinds();
        logsNotRemoved = run->oldLogsNotRemoved();
        QObject::connect(run, &SyncOutcome::answerRecorded, &app, [&] { outcomes = run->kinds(); });
        if (run->postsWaiting()) {
            QObject::connect(run, &SyncOutcome::runSettled, &app, &QCoreApplication::quit);
            app.exec();
        }
    }
    bool complete = true;
    for (const KindOutcome &outcome : outcomes) {
        printLine(stdout, outcomeLine(outcome));
        complete = complete && outcome.read && outcome.post == KindOutcome::Post::Answered;
    }
    // A sync whose local copy or whose record of what happened was lost did not go well either.
    for (const KindOutcome &outcome : outcomes) {
        if (!outcome.snapshotError.isEmpty()) {
            printLine(stdout, outcome.word + QStringLiteral(": snapshot not saved: ") + outcome.snapshotError);
            complete = false;
        }
    }
    // Old days that stay fill the disk that LOG_KEEP_DAYS was set to keep free.
    if (!logsNotRemoved.isEmpty()) {
        printLine(stdout, QStringLiteral("log: could not remove old daily files (LOG_KEEP_DAYS): ")
                              + logsNotRemoved.join(QStringLiteral(", ")));
        complete = false;
    }
    if (const int lost = unwrittenLineCount()) {
        printLine(stdout, QStringLiteral("log: %1 could not be written").arg(linesText(lost)));
        complete = false;
    }
    return complete ? Synced : SyncIncomplete;
}
}

bool opensWindow(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return asksForWindow(arguments);
}

void chooseCommandLinePlatform(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !opensWindow(argc, argv))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

int runCommandLine(QApplication &app)
{
    QCommandLineParser parser;
    describeOptions(&parser);
    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    if (asksForText(parser))
        return printHelpOrVersion(parser);
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument: ") + parser.positionalArguments().join(QLatin1Char(' ')));
    const int tasks = int(parser.isSet(onceName)) + int(parser.isSet(checkName)) + int(parser.isSet(setDatabaseName));
    if (tasks > 1)
        return usageError(QStringLiteral("--once, --check and --set-database are run one at a time"));
    if (parser.isSet(passwordStdinName) && !parser.isSet(setDatabaseName))
        return usageError(QStringLiteral("--password-stdin goes with --set-database"));
    if (parser.isSet(setDatabaseName)) {
        const QString path = parser.value(setDatabaseName);
        if (path.isEmpty())
            return usageError(QStringLiteral("--set-database needs the guard-tour database's path"));
        return setDatabase(path, parser.isSet(passwordStdinName));
    }
    if (parser.isSet(checkName))
        return checkSite();
    if (!parser.isSet(onceName))
        return usageError(QStringLiteral("Nothing to do: --once runs one sync, --check checks the set-up; without "
                                         "arguments the window opens."));
    return syncOnce(app);
}
