#include "app/commandline.h"

#include "app/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

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

bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

QString rowsText(int rows)
{
    return QString::number(rows) + (rows == 1 ? QStringLiteral(" row") : QStringLiteral(" rows"));
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
        outcomes = window.lastRun();
        QObject::connect(&window, &MainWindow::answerRecorded, &app, [&] { outcomes = window.lastRun(); });
        if (window.postsWaiting()) {
            QObject::connect(&window, &MainWindow::runSettled, &app, &QCoreApplication::quit);
            app.exec();
        }
    }
    bool complete = true;
    for (const KindOutcome &outcome : outcomes) {
        printLine(stdout, outcomeLine(outcome));
        complete = complete && outcome.read && outcome.post == KindOutcome::Post::Answered;
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
    QCommandLineParser parser;
    describeOptions(&parser);
    // The toolkit's own options (-style, -platform) are unknown here; they ask for the
    // window and get it wherever a display is there.
    const bool windowless = parser.parse(arguments) && (parser.isSet(onceName) || asksForText(parser));
    const bool headless = windowless || !displayAvailable();
    if (headless)
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
