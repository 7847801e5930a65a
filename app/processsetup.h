#pragma once

class QCoreApplication;

// The ways a program is told to end quit the event loop, so that it ends exactly as when its
// window is closed: on Unix SIGINT, SIGTERM, SIGHUP and SIGQUIT; on Windows Ctrl+C, Ctrl+Break,
// a closed console, a logoff and a shutdown, which the program holds back until it has ended.
void quitOnTerminationSignals(QCoreApplication *app);

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
