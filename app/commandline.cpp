#include "app/commandline.h"

#include "app/mainwindow.h"
#include "app/syncoutcome.h"
#include "logging/dailyfilequeue.h"

#include <QApplication>
#include <QCommandLineParser>

#include <algorithm>
#include <cstdio>

namespace {
enum ExitCode { Synced = 0, SyncIncomplete = 1, UsageError = 2 };

const QString onceName = QStringLiteral("once");

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
}

void printLine(FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().append('\n').constData(), stream);
}

bool asksForText(const QCommandLineParser &parser)
{
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))
        || parser.isSet(QStringLiteral("version"));
}

int usageError(const QString &message)
{
    printLine(stderr, message + QStringLiteral("\nTry '--help' for the options."));
    return UsageError;
}

// The options the toolkit takes for itself (QGuiApplication's, QApplication's and those of
// the X11 platform); given alone, they ask for the window.
bool isToolkitOption(const QString &name)
{
    static const QStringList names = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "reverse", "session", "style", "stylesheet", "widgetcount",
        "display", "geometry", "name", "title", "visual", "ncols", "cmap", "im", "inputstyle",
        "nograb", "dograb", "sync"};
    return names.contains(name);
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
    return !parser.isSet(onceName) && !asksForText(parser) && !unknown.isEmpty()
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
    {
        MainWindow window;
        const SyncOutcome *run = window.outcome();
        outcomes = run->kinds();
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
    if (const int lost = unwrittenLineCount()) {
        printLine(stdout, QStringLiteral("log: %1 could not be written").arg(linesText(lost)));
        complete = false;
    }
    return complete ? Synced : SyncIncomplete;
}
}

void chooseCommandLinePlatform(int argc, char *argv[])
{
    if (argc < 2 || qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!asksForWindow(arguments))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

int runCommandLine(QApplication &app)
{
    QCommandLineParser parser;
    describeOptions(&parser);
    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    // Prints the help or the version and ends the program with 0.
    if (asksForText(parser))
        parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument: ") + parser.positionalArguments().join(QLatin1Char(' ')));
    if (!parser.isSet(onceName))
        return usageError(QStringLiteral("Nothing to do: --once runs one sync; without arguments the window opens."));
    return syncOnce(app);
}
