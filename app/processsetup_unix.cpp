#include "app/processsetup.h"

#include "app/printline.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
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
InputByte readStandardInputByte(char *byte)
{
    pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    for (;;) {
        // A caught signal ends poll early whatever SA_RESTART says; its byte is in the pipe by then.
        if (::poll(watched, 2, -1) < 0 && errno == EINTR)
            continue;
        if (watched[1].revents & POLLIN)
            return InputByte::Interrupted;
        const ssize_t n = ::read(STDIN_FILENO, byte, 1);
        if (n < 0 && errno == EINTR)
            continue;
        return n == 1 ? InputByte::Read : InputByte::Ended;
    }
}

void cacheLocalTimeZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

void releaseConsoleOfItsOwn()
{
}

bool systemIsEndingTheProgram()
{
    return false;
}

void printText(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QString accountName()
{
    const passwd *account = ::getpwuid(::geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString::number(::geteuid());
}

QString whyNotWritable(const QString &path, bool isFolder)
{
    const int wanted = W_OK | (isFolder ? X_OK : 0);
    if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), wanted, AT_EACCESS) == 0)
        return QString();
    return qt_error_string(errno);
}

AppendFile::~AppendFile() = default;

bool AppendFile::open(const QString &name, QString *reason)
{
    file.setFileName(name);
    // Unbuffered, so that what write() reports is what reached the file.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    *reason = file.errorString();
    return false;
}

bool AppendFile::appendWhole(const QByteArray &text, QString *reason)
{
    qint64 done = 0;
    while (done < text.size()) {
        // A write may take only part of the bytes; the next one says why, if it fails.
        const qint64 written = file.write(text.constData() + done, text.size() - done);
        if (written <= 0) {
            *reason = file.errorString();
            // An appending write leaves the offset at the end of its bytes, which end the file
            // unless another program has appended since: what lies after stays.
            if (done > 0)
                file.resize(::lseek(file.handle(), 0, SEEK_CUR) - done);
            return false;
        }
        done += written;
    }
    return true;
}
