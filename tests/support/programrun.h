#pragma once

#include <QProcess>
#include <QStringList>

// How a run of the real executable ended: its exit status and what it printed.
struct Run
{
    int exitCode = -1;
    QStringList out;
    QString err;
};

// What cron or a service manager hands over: no display, no toolkit platform, no session.
QProcessEnvironment unattendedEnvironment();

// The end of a started run, waited for up to `timeoutMs`; one that does not end is killed.
// `outSoFar` is what was already read from its standard output. The program prints in the
// system's encoding; the lines lose the CR that a Windows build ends them with.
Run finished(QProcess &process, int timeoutMs = 60000, const QByteArray &outSoFar = QByteArray());
