#pragma once

class QCoreApplication;

// On Unix, SIGINT and SIGTERM quit the event loop, so the program ends exactly as
// when its window is closed. Elsewhere this does nothing.
void quitOnTerminationSignals(QCoreApplication *app);

// Every date and time the program formats asks the C library for the local zone. Where the
// zone comes from no TZ variable, glibc then checks /etc/localtime on each call, which is a
// third of a large sync's time; naming that same zone once spares the checks.
void cacheLocalTimeZone();
