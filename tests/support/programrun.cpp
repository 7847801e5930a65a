#include "support/programrun.h"

QProcessEnvironment unattendedEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

Run finished(QProcess &process, int timeoutMs, const QByteArray &outSoFar)
{
    Run run;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not end normally: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
    run.exitCode = process.exitCode();
    const QByteArray out = outSoFar + process.readAllStandardOutput();
    run.out = QString::fromLocal8Bit(out).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    run.out.removeAll(QString());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}
