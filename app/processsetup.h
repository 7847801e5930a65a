#pragma once

class QCoreApplication;

// On Unix, SIGINT, SIGTERM, SIGHUP and SIGQUIT quit the event loop, so the program ends exactly as
// when its window is closed. Elsewhere this does nothing.
void quitOnTerminationSignals(QCoreApplication *app);

// Blocks until standard input has a byte to read or has ended: true; or until one of those
// signals has come: false. Elsewhere it answers true at once, and the read itself waits.
bool waitForStandardInput();

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
