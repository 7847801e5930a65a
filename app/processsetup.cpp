#include "app/processsetup.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <cstdio>
#include <cstdlib>

namespace {
struct HeldMessage
{
    QtMsgType type;
    const char *category; // the toolkit's categories are static texts
    QString text;
};

QtMessageHandler handlerBeforeStart = nullptr;
QVector<HeldMessage> heldMessages;

[[noreturn]] void reportNoDisplay(const QString &fatalText)
{
    // The platform's own first word says why ("could not connect to display :1"); what the
    // toolkit adds after it is about plugins.
    const QString reason = heldMessages.isEmpty() ? fatalText : heldMessages.first().text;
    const QString line = QStringLiteral("fernwick: no display, so the window cannot open (%1); "
                                        "'fernwick --once' runs a sync without one.\n")
                             .arg(reason.section(QLatin1Char('\n'), 0, 0).trimmed());
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::_Exit(1);
}

void holdWhileStarting(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg)
        reportNoDisplay(text);
    heldMessages.append({type, context.category, text});
}
}

PlatformStartGuard::PlatformStartGuard()
{
    handlerBeforeStart = qInstallMessageHandler(holdWhileStarting);
}

PlatformStartGuard::~PlatformStartGuard()
{
    qInstallMessageHandler(handlerBeforeStart);
    for (const HeldMessage &message : qAsConst(heldMessages))
        qt_message_output(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category), message.text);
    heldMessages.clear();
}

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe; the event loop does the rest.
void forwardSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}
}

void quitOnTerminationSignals(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal or ssh session (SIGHUP) and Ctrl+\\ (SIGQUIT) end the program as
    // Ctrl+C and SIGTERM do: the answers in flight are waited for and recorded.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        ::sigaction(signal, &action, nullptr);
}

// The signal's byte is left in the pipe, so that the event loop, when it runs, ends too.
bool waitForStandardInput()
{
    pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    // A caught signal ends poll early whatever SA_RESTART says; its byte is in the pipe by then.
    while (::poll(watched, 2, -1) < 0 && errno == EINTR) {
    }
    return (watched[1].revents & POLLIN) == 0;
}

void cacheLocalTimeZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}
#else
void quitOnTerminationSignals(QCoreApplication *)
{
}

bool waitForStandardInput()
{
    return true;
}

void cacheLocalTimeZone()
{
}
#endif
