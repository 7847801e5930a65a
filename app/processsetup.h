#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

class QCoreApplication;

// The ways a program is told to end quit the event loop, so that it ends exactly as when its
// window is closed: on Unix SIGINT, SIGTERM, SIGHUP and SIGQUIT; on Windows Ctrl+C, Ctrl+Break,
// a closed console, a logoff and a shutdown, which the program holds back until it has ended.
void quitOnTerminationSignals(QCoreApplication *app);

// Whether the system is ending the program: on Windows its console closed, a logoff or a
// shutdown, after which the system ends the process 5 s later whatever it is doing. Ctrl+C,
// Ctrl+Break, the window's close and every Unix signal are the program being asked to end.
bool systemIsEndingTheProgram();

// On Windows the program is a console program, so that the command-line modes print, end with
// their status and hear Ctrl+C in a console. Started from the Start menu, the window gets a
// console of its own it has no use for, which this closes. Elsewhere this does nothing.
void releaseConsoleOfItsOwn();

// One byte of standard input, waited for until it comes, the input ends, or the program is told
// to end in one of those ways, whichever is first.
enum class InputByte { Read, Ended, Interrupted };
InputByte readStandardInputByte(char *byte);

// Every date and time the program formats asks the C library for the local zone. Where the
// zone comes from no TZ variable, glibc then checks /etc/localtime on each call, which is a
// third of a large sync's time; naming that same zone once spares the checks.
void cacheLocalTimeZone();

// The toolkit ends the process with abort() when its platform cannot start: no display, or a
// DISPLAY naming one that is not there. While a guard lives, such an end is instead one line
// on stderr that says so and what runs without a display, and exit status 1. What the toolkit
// says meanwhile is held back, and passed on once the start has gone well.
class PlatformStartGuard
{
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard &) = delete;
    PlatformStartGuard &operator=(const PlatformStartGuard &) = delete;
};

// The name of the account the program runs as.
QString accountName();

// Why the account the program runs as may not write to the file `path`, or make files in the
// folder `path`, in the system's words; empty when it may. The check changes nothing.
QString whyNotWritable(const QString &path, bool isFolder);

// A daily file under log/ that several programs may append to at once (the window and the
// scheduled task, two task runs). Every write lands at the end of the file as it is at that
// moment, never where the file ended when it was opened, so no program overwrites another's
// lines: O_APPEND on Unix; on Windows a handle that may only append, since the toolkit's append
// mode there seeks to the end once, at the open. Text is written with the platform's line ends
// (LF becomes CR LF on Windows), each batch of lines in one write.
class AppendFile
{
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    // Opens `name`, creating it when it is missing; false with the system's reason otherwise.
    bool open(const QString &name, QString *reason);
    // All of `text` at the end of the file, or none of it: a write cut short (a full disk) is
    // cut off again, so that the lines can later be written once, whole.
    bool appendWhole(const QByteArray &text, QString *reason);

private:
#ifdef Q_OS_WIN
    void *handle = nullptr;
    QString fileName;
#else
    QFile file;
#endif
};
